// Everything the database extractor reads, as text: for each database, every object's CREATE
// text with its descriptions, the facts of its columns that the text leaves out, and its
// dependencies in both directions, in the order they were registered. Two builds of the
// extractor that read the same databases must print the same; run by hand before and after a
// change of the readers and compare the outputs:
//   ./build/bench/dbextract_dump [N] > after.txt          (the fixture databases and the workload at N)
//   ./build/bench/dbextract_dump --db file.fdb ... > after.txt
#include "Workload.h"
#include "fixtures/FbFixture.h"
#include "fixtures/LiveSide.h"
#include "fixtures/ScriptFixtures.h"

#include "objects/qnlComp_Ctr.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace qnl;

std::string Ref(const TDbObj* Obj) {
    if (!Obj) return "(none)";
    return std::to_string(static_cast<int>(Obj->Kind)) + ":" + (Obj->Name.empty() ? Obj->SystemName() : Obj->Name);
}

std::string Depends(const char* Label, const TDependList& List) {
    std::string s;
    for (int i = 0; i < List.Count(); ++i) {
        const TDependObj* d = List.Items(i);
        s += std::string("\n    ") + Label + " " + Ref(d->Ref) + (d->Active ? "" : " (inactive)");
    }
    return s;
}

std::string ColumnFacts(TDbObj& Obj) {
    std::string s;
    for (int i = 0; i < Obj.GetColumnCount(); ++i) {
        auto* f = dynamic_cast<TFldData*>(Obj.GetColumn(i));
        if (!f) continue;
        s += "\n  column " + f->Name + " source=" + f->SystemName() + " domain=" + f->DomainName +
             " notnull=" + f->Rare().NotNullName + " pos=" + std::to_string(f->FieldPosition) + "/" +
             std::to_string(f->Position) + " default=" + f->DefaultValue + " check=" + f->Rare().CheckSource +
             " dims=" + std::to_string(f->ArrayBounds.size());
        s += Depends("uses", f->DependsOn) + Depends("used by", f->UsedBy);
    }
    return s;
}

std::string Dump(const std::string& Path) {
    test::LiveSide side(Path);
    if (!side.Extract()) return "extraction failed:\n" + side.ErrorText();
    std::string s = side.ErrorText();
    for (TObjListKind k : test::FirebirdLists()) {
        const TDbObjList& list = side.Objs().List(k);
        for (int i = 0; i < list.Count(); ++i) {
            TDbObj& obj = *list.Obj(i);
            s += std::string(test::ListWord(k)) + " " + list[i] + "\n" + test::ObjectText(obj);
            if (auto* ctr = dynamic_cast<TCtrData*>(&obj))
                s += "\n  index=" + ctr->IndexName + (ctr->DescIndex ? " desc" : "") + " system=" + ctr->SystemName();
            s += ColumnFacts(obj) + Depends("uses", obj.DependsOn) + Depends("used by", obj.UsedBy) + "\n\n";
        }
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    test::PrepareFirebirdEnvironment();
    std::vector<std::string> given;
    int n = 200;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--db" && i + 1 < argc)
            given.push_back(argv[++i]);
        else
            n = std::max(1, std::atoi(argv[i]));
    }
    if (!given.empty()) {
        for (const std::string& path : given) std::printf("==== %s\n%s", path.c_str(), Dump(path).c_str());
        return 0;
    }
    std::vector<std::pair<std::string, std::unique_ptr<test::TempDatabase>>> databases;
    std::string why;
    if (const std::string employee = test::EmployeeScript(why); !employee.empty())
        databases.emplace_back("employee", std::make_unique<test::TempDatabase>(test::CompleteScript{employee}));
    else
        std::fprintf(stderr, "employee left out: %s\n", why.c_str());
    for (const char* name : {"fb3_features.sql", "fb3_forms.sql"})
        databases.emplace_back(name, std::make_unique<test::TempDatabase>(test::CompleteScript{test::FixtureScript(name)}));
    databases.emplace_back("workload " + std::to_string(n),
                           std::make_unique<test::TempDatabase>(bench::WorkloadObjects(n, true), "UTF8"));
    for (const auto& [name, db] : databases) std::printf("==== %s\n%s", name.c_str(), Dump(db->Path()).c_str());
    return 0;
}
