// Fuzz run of the filter-expression parser and evaluator, by hand (best under the sanitizer build):
//   ./build-sanitize/bench/filter_fuzz [seconds=120] [seed]
// Builds a small Firebird table with the embedded engine, opens it in a data set, then parses
// random expressions (token soup from the filter syntax, deep nestings, and mutations of valid
// filters: bytes dropped, doubled, swapped or replaced by syntax pieces) and evaluates each one
// that parses against every record. Errors are expected; crashes and memory faults are the
// sanitizers' to report, and one expression that runs for ten seconds stops the run as a hang.
#include "FuzzRun.h"

#include "client/StrUtil.h"
#include "datasets/DBParsers.h"
#include "datasets/FIBDataSet.h"
#include "fixtures/FbFixture.h"

#include <cstdio>
#include <memory>
#include <random>
#include <string>

namespace {

const char* const Ddl = R"(
CREATE TABLE FLT (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20), QTY INTEGER, PRICE NUMERIC(9,2),
  RATE DOUBLE PRECISION, BORN DATE, STAMP TIMESTAMP, CODE CHAR(5), FLAG BOOLEAN, BIG BIGINT,
  U VARCHAR(10) CHARACTER SET UTF8);
INSERT INTO FLT VALUES (1, 'Jones', 5, 12.50, 0.5, '1990-03-15', '1990-03-15 08:30:15', 'AB', TRUE, 9223372036854775807, 'a');
INSERT INTO FLT VALUES (2, '', -2147483648, -0.01, -1.0E300, '0001-01-01', '9999-12-31 23:59:59', '', FALSE, -9223372036854775808, '');
INSERT INTO FLT (ID) VALUES (3);
INSERT INTO FLT VALUES (4, '  Anna ', 0, 0, 0, '2024-02-29', '2024-02-29 00:00:01', 'zz', NULL, 0, 'e');
COMMIT;
)";

const char* const Seeds[] = {
    "ID = 3",
    "NAME LIKE 'J%' AND QTY > 2 OR NOT (PRICE <= 1.5)",
    "ID IN (1, 2, 3) AND NAME IS NOT NULL",
    "SUBSTRING(NAME, 2, 3) = 'nn' OR SUBSTRING(NAME, '2,3') <> ''",
    "YEAR(BORN) + MONTH(STAMP) * DAY(BORN) - HOUR(STAMP) / MINUTE(STAMP) MOD SECOND(STAMP) > 0",
    "UPPER(TRIM(NAME)) = LOWER(TRIMLEFT(TRIMRIGHT(CODE)))",
    "DATE('29.02.2024', 'dd.mm.yyyy') = BORN OR DATE(STAMP) > 0 OR GETDATE() > STAMP",
    "-QTY * BIG + RATE / PRICE <> [NAME] + \"CODE\"",
    "FLAG = TRUE OR U = 'a' OR BIG = 9223372036854775807",
    "NAME = 'Jo*' AND ID != 0",
};

const char* const Pieces[] = {
    "(", ")", ",", "=", "<>", "!=", "<", ">", "<=", ">=", "+", "-", "*", "/", " MOD ", " AND ", " OR ", " NOT ",
    " LIKE ", " IN ", " IS ", " NULL ", " TRUE ", " FALSE ", "ID", "NAME", "QTY", "PRICE", "RATE", "BORN", "STAMP",
    "CODE", "FLAG", "BIG", "U", "[NAME]", "\"QTY\"", "'x'", "'Jo*'", "'%_'", "''''", "'", "\"", "[", "]", "0", "1",
    "-1", "2147483648", "9223372036854775808", "1e308", "1e-320", ".5", "0.0", "UPPER(", "LOWER(", "TRIM(",
    "TRIMLEFT(", "TRIMRIGHT(", "SUBSTRING(", "YEAR(", "MONTH(", "DAY(", "HOUR(", "MINUTE(", "SECOND(", "DATE(",
    "GETDATE()", "FOO(", "'2,3'", "'9999999999999,-5'", "'01.01.2000'", "'dd.mm.yyyy'", "\x01", "\xff",
};

std::string Soup(std::mt19937& Rng) {
    std::string t;
    const int n = 1 + static_cast<int>(Rng() % 40);
    for (int i = 0; i < n; ++i) t += Pieces[Rng() % std::size(Pieces)];
    return t;
}

// A long run of one nesting piece around a comparison, or a long chain of one operator.
std::string Deep(std::mt19937& Rng) {
    static const char* const Open[] = {"(", "NOT ", "-", "UPPER(", "SUBSTRING("};
    static const char* const Close[] = {")", "", "", ")", ", 1, 2)"};
    const size_t kind = Rng() % (std::size(Open) + 1);
    const int depth = static_cast<int>(Rng() % 3000);
    std::string t;
    if (kind == std::size(Open)) {
        t = "QTY";
        for (int i = 0; i < depth; ++i) t += Pieces[10 + Rng() % 4] + std::string("QTY");
        return t + " > 0";
    }
    for (int i = 0; i < depth; ++i) t += Open[kind];
    t += "QTY";
    for (int i = 0; i < depth; ++i) t += Close[kind];
    return t + " = 1";
}

} // namespace

int main(int argc, char** argv) {
    using namespace qnl;
    fuzz::TRun run = fuzz::ReadRunArguments(argc, argv);

    test::PrepareFirebirdEnvironment();
    test::TempDatabase db(Ddl);
    TComponent form;
    TFIBDatabase database(&form);
    TFIBTransaction transaction(&form);
    database.SetDBName(db.Path());
    database.ConnectParams().SetUserName("SYSDBA");
    database.SetSQLDialect(3);
    database.Open();
    transaction.SetDefaultDatabase(&database);
    TFIBDataSet ds(&form);
    ds.SetDatabase(&database);
    ds.SetTransaction(&transaction);
    ds.SetSelectSQL("SELECT * FROM FLT ORDER BY ID");
    ds.Open();
    ds.FetchAll();

    const fuzz::TMutation how{4, 6, 20, false, 256};
    long parsed = 0, evaluated = 0;
    const long count = fuzz::RunFor(run, "expression", [&](std::mt19937& Rng) {
        const unsigned pick = Rng() % 10;
        const std::string text =
            pick < 2 ? Soup(Rng) : pick == 2 ? Deep(Rng) : fuzz::Mutate(Seeds[Rng() % std::size(Seeds)], Rng, how, Pieces);
        const TFilterOptions options = static_cast<TFilterOptions>(Rng() % 4);
        std::unique_ptr<TExpressionParser> parser;
        try {
            parser = std::make_unique<TExpressionParser>(&ds, SQLMaskCompare, StrToDateTimeFmt, FilterFieldMap, options, text);
        } catch (const std::exception&) {
            return;
        }
        ++parsed;
        for (ds.First(); !ds.Eof(); ds.Next()) {
            try {
                parser->Evaluate();
                ++evaluated;
            } catch (const std::exception&) {
            }
        }
    });
    std::printf("%ld expressions, %ld parsed, %ld record evaluations without error; no crash, no hang\n", count, parsed,
                evaluated);
    ds.Close();
    database.Close();
    return 0;
}
