#pragma once
// Bound defaults (MSSQL CREATE DEFAULT) and Firebird collations, their texts, and the passes that
// create, alter (drop and create again) and drop them; the pass shape they share with rules.
#include "core/qnlClasses.h"
#include "core/qnlCustomQuarnel.h"

#include <string>

namespace qnl {

class TDefData : public TDbObj {
public:
    explicit TDefData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboDefault; }
    std::string ClassName() const override { return "TDefData"; }

    std::string Value;  // the default expression

    // MSSQL: "CREATE DEFAULT [name] AS value" (nothing without a value); other dialects:
    // "CREATE DEFAULT name AS value".
    std::string GetCreateSQL() override;
    std::string GetCreateStatement() override { return GetCreateSQL(); }
    TObjListKind GetObjList() const override { return olDefaults; }
};

class TCltData : public TDbObj {
public:
    explicit TCltData(TCustomObjs* AContainer) : TDbObj(AContainer) { Kind = dboCollation; }
    std::string ClassName() const override { return "TCltData"; }

    std::string CharacterSet;  // after FOR
    std::string BaseCollation; // after FROM
    std::string ExternalName;  // after FROM EXTERNAL, when there is no base collation
    bool PadSpace = false;
    bool CaseSensitive = true;
    bool AccentSensitive = true;
    std::string Attributes;  // the specific attributes, "NAME=value;NAME=value"

    // CREATE COLLATION for InterBase/Firebird, one clause a line; empty for other dialects.
    std::string GetCreateSQL() override;
    std::string GetCreateStatement() override { return GetCreateSQL(); }
    // The CREATE text without the COLL-VERSION attribute (Firebird writes the version of its
    // collation library into every ICU collation and overwrites any value given, so the version
    // says nothing about the collation's definition), its base written as an external name.
    std::string GetCompareSQL() override;
    TObjListKind GetObjList() const override { return olCollations; }
    TDescriptionSubject GetDescriptionSubject() override { return {dcCollation}; }

private:
    std::string CreateText(const std::string& Base, const std::string& External, const std::string& Attrs);
};

// The pass shape shared by defaults, collations and rules. Objects are matched by their key in
// the two containers' lists of one kind (not by counterpart); Title is the section comment's
// text, which the first object acted on makes into a comment line.
// Create: master objects the target lacks, with their descriptions.
void WriteCreateByKey(TCustomQuarnel& Q, TObjListKind List, const std::string& Title);
// Alter: master objects whose compare text differs from the target's are dropped and created
// again; a paired object whose description alone differs gets its description. KeepTarget, when
// given, may decline the drop (it writes why) and answers True then.
using TKeepTargetCheck = bool (*)(TCustomQuarnel& Q, TDbObj& Master, TDbObj& Target);
void WriteAlterByKey(TCustomQuarnel& Q, TObjListKind List, const std::string& Title,
                     TKeepTargetCheck KeepTarget = nullptr);
// Drop: target objects the master lacks.
void WriteDropByKey(TCustomQuarnel& Q, TObjListKind List, const std::string& Title);

void WriteCreateDefaults(TCustomQuarnel& Q);
void WriteAlterDefaults(TCustomQuarnel& Q);
void WriteDropDefaults(TCustomQuarnel& Q);
void WriteCreateCollations(TCustomQuarnel& Q);
// A changed collation that the target uses (a column, a domain, a parameter, a registered
// dependant) cannot be dropped: it gets a warning comment instead.
void WriteAlterCollations(TCustomQuarnel& Q);
void WriteDropCollations(TCustomQuarnel& Q);

} // namespace qnl
