#include "Workload.h"


namespace qnl::bench {

namespace {

bool Differs(bool Target, int I) { return Target && I % 10 < 3; }

} // namespace

std::string WorkloadScript(int N, bool Target) {
    return "SET SQL DIALECT 3;\nCREATE DATABASE 'road.fdb' DEFAULT CHARACTER SET UTF8;\n\n" + WorkloadObjects(N, Target);
}

std::string WorkloadObjects(int N, bool Target) {
    const int domains = N / 10 > 0 ? N / 10 : 1;
    std::string s;
    s.reserve(static_cast<size_t>(N) * 1100);
    for (int i = 0; i < domains; ++i) {
        const std::string n = std::to_string(i);
        s += "CREATE DOMAIN D_CODE_" + n + " AS VARCHAR(" + (Differs(Target, i) ? "24" : "20") +
             ") CHARACTER SET UTF8 NOT NULL CHECK (VALUE <> '');\n";
    }
    s += "\n";
    for (int i = 0; i < N; ++i) {
        const std::string n = std::to_string(i);
        s += "CREATE SEQUENCE SEQ_ORDERS_" + n + (Differs(Target, i) ? " START WITH 100" : "") + ";\n";
    }
    s += "\n";
    for (int i = 0; i < N / 4; ++i) {
        const std::string n = std::to_string(i);
        s += "CREATE EXCEPTION E_ORDERS_" + n + " 'Order " + n + (Differs(Target, i) ? " was refused'" : " is invalid'") +
             ";\n";
    }
    s += "\n";
    for (int i = 0; i < N; ++i) {
        const std::string n = std::to_string(i);
        const std::string t = "ORDERS_" + n;
        const bool changed = Differs(Target, i);
        s += "/* Table " + n + ": orders of one ledger. */\n";
        s += "CREATE TABLE " + t + " (\n"
             "    ID INTEGER NOT NULL,\n"
             "    PARENT_ID INTEGER,\n"
             "    CODE D_CODE_" + std::to_string(i % domains) + ",\n"
             "    NAME VARCHAR(" + (changed ? "100" : "80") + ") COLLATE UNICODE_CI,\n"
             "    AMOUNT NUMERIC(15, 2) DEFAULT 0,\n"
             "    RATE DOUBLE PRECISION DEFAULT 1.5,\n"
             "    CREATED TIMESTAMP DEFAULT CURRENT_TIMESTAMP NOT NULL,\n"
             "    STATUS CHAR(1) DEFAULT 'N' CHECK (STATUS IN ('N', 'Y', 'X')),\n" +
             std::string(changed ? "    EXTRA VARCHAR(10),\n" : "") +
             "    NOTE BLOB SUB_TYPE TEXT SEGMENT SIZE 80,\n"
             "    TOTAL COMPUTED BY (AMOUNT * RATE),\n"
             "    CONSTRAINT PK_" + t + " PRIMARY KEY (ID),\n"
             "    CONSTRAINT UQ_" + t + " UNIQUE (CODE) USING DESC INDEX IX_UQ_" + t + "\n);\n";
        s += "CREATE INDEX IX_" + t + "_NAME ON " + t + " (NAME, CREATED);\n";
        if (i > 0)
            s += "ALTER TABLE " + t + " ADD CONSTRAINT FK_" + t + " FOREIGN KEY (PARENT_ID) REFERENCES ORDERS_" +
                 std::to_string(i - 1) + " (ID) ON DELETE CASCADE;\n";
        s += "COMMENT ON TABLE " + t + " IS 'Orders of ledger " + n + "';\n\n";
    }
    s += "SET TERM ^ ;\n";
    for (int i = 0; i < N; ++i) {
        const std::string n = std::to_string(i);
        const std::string t = "ORDERS_" + n;
        const bool changed = Differs(Target, i);
        s += "CREATE TRIGGER " + t + "_BI FOR " + t + " BEFORE INSERT AS\nBEGIN\n"
             "  IF (NEW.ID IS NULL) THEN NEW.ID = NEXT VALUE FOR SEQ_" + t + ";\n"
             "  IF (NEW.STATUS IS NULL) THEN NEW.STATUS = '" + (changed ? "Y" : "N") + "';\n"
             "  IF (NEW.AMOUNT < 0) THEN EXCEPTION E_ORDERS_" + std::to_string(i % (N / 4 > 0 ? N / 4 : 1)) +
             ";\nEND^\n";
        s += "CREATE PROCEDURE " + t + "_SUM (P INTEGER) RETURNS (S NUMERIC(18, 2), C INTEGER) AS\n"
             "DECLARE VARIABLE K INTEGER;\nBEGIN\n"
             "  SELECT SUM(AMOUNT), COUNT(*) FROM " + t + " WHERE PARENT_ID = :P" + (changed ? " AND STATUS = 'Y'" : "") +
             " INTO :S, :C;\n  K = 0;\n  WHILE (K < C) DO K = K + 1;\n  SUSPEND;\nEND^\n";
    }
    s += "SET TERM ; ^\n\n";
    for (int i = 0; i < N / 4; ++i) {
        const std::string t = "ORDERS_" + std::to_string(i * 4);
        s += "CREATE VIEW V_" + t + " (ID, CODE, NAME, TOTAL) AS SELECT ID, CODE, NAME, TOTAL FROM " + t +
             (Differs(Target, i) ? " WHERE STATUS <> 'X'" : "") + ";\n";
    }
    return s;
}

} // namespace qnl::bench
