#pragma once
// Fills one side's container in code, as a reader would, so passes and the comparer can be
// tested without a script or database reader. Every object goes through the container's
// AddDbObject (which takes ownership); the builders answer the filed object, or nullptr when the
// container refused it (a duplicate key, an IBE$ name).
#include "core/qnlDBStructure.h"
#include "objects/qnlComp_Exc.h"
#include "objects/qnlComp_Gnr.h"
#include "objects/qnlComp_Tbl.h"

#include <memory>
#include <string>

namespace qnl::test {

class StructureBuilder {
public:
    explicit StructureBuilder(TObjs& AObjs) : Objs(AObjs) {}

    TExcData* Exception(const std::string& Name, const std::string& Message, const std::string& Description = {}) {
        auto* e = new TExcData(&Objs);
        e->Name = Name;
        e->Message = Message;
        e->SetDescription(Description);
        return File(e);
    }

    TGnrData* Generator(const std::string& Name) {
        auto* g = new TGnrData(&Objs, nullptr);
        g->Name = Name;
        return File(g);
    }

    TEvtData* Event(const std::string& Name, bool Enabled = true, const std::string& Handler = {}) {
        auto* e = new TEvtData(&Objs);
        e->Name = Name;
        e->Enabled = Enabled;
        e->SetSource(Handler);
        return File(e);
    }

    TTblData* Table(const std::string& Name) {
        auto* t = new TTblData(&Objs);
        t->Name = Name;
        return File(t);
    }

    // A column at the end of the table's column order; Length is the character length.
    TFldData* Column(TTblData& Table, const std::string& Name, uint8_t DataType, int32_t Length = 0) {
        auto c = std::make_unique<TFldData>(&Objs, &Table);
        c->Name = Name;
        c->DataType = DataType;
        c->CharLength = Length;
        c->FieldLength = Length;
        return Table.AddColumn(std::move(c));
    }

private:
    template <class K>
    K* File(K* Obj) {
        const TObjListKind kind = Obj->GetObjList();
        const std::string key = Obj->GetKeyName();
        TDbObjList& list = Objs.List(kind);
        if (list.FindObj(key)) {
            delete Obj;
            return nullptr;
        }
        Objs.AddDbObject(Obj);
        return dynamic_cast<K*>(list.FindObj(key));
    }

    TObjs& Objs;
};

} // namespace qnl::test
