#include "core/qnlDBOptions.h"

#include <gtest/gtest.h>

using namespace qnl;

TEST(DBOptions, StartValuesDifferFromPublishedDefaultsWhereStated) {
    EXPECT_EQ(TMSSQLServerOptions().SQLServerVersion, st_MSSQL2000);
    EXPECT_EQ(TPGSQLServerOptions().SQLServerVersion, st_PostgreSQL_8x);
    TIBServerOptions ib;
    EXPECT_EQ(ib.SQLServerVersion, st_Firebird_25);
    EXPECT_EQ(ib.SQLDialect, 3);
    EXPECT_TRUE(ib.IBCompareOptions.UseRECONNECT);
    EXPECT_TRUE(ib.IBCompareOptions.IgnoreIBEObjects);
    EXPECT_EQ(TConnectionOptions().Protocol, ptTCP);
    EXPECT_TRUE(TASADatabaseOptions().Flag1);
    EXPECT_TRUE(TMySQLCompareOptions().CaseSensitiveIdentifiers);
}

TEST(DBOptions, ResetKeepsWhatTheUserChose) {
    TConnectionOptions conn;
    conn.DatabaseName = "db";
    conn.AuxText2 = "x";
    conn.Port = 3050;
    conn.Protocol = ptTCP;
    conn.Reset();
    EXPECT_EQ(conn.DatabaseName, "");
    EXPECT_EQ(conn.AuxText2, "");
    EXPECT_EQ(conn.Port, 0);
    EXPECT_EQ(conn.Protocol, ptLocal);

    TIBServerOptions ib;
    ib.SQLServerVersion = st_Firebird_30;
    ib.SQLDialect = 1;
    ib.SetDBCharSet("utf8");
    ib.IBCompareOptions.GenerateCOMMIT = true;
    ib.IBCompareOptions.ModifySystemTables = true;
    ib.IBCompareOptions.AllowDataTypeConversion = true;
    ib.IBCompareOptions.UseRECONNECT = false;
    ib.IBCompareOptions.UpdateDescriptionMode = udComment;
    ib.IBDatabaseOptions.ODSMajor = 12;
    ib.IBDatabaseOptions.ServerVersion = "WI-V3";
    ib.Reset();
    EXPECT_EQ(ib.SQLServerVersion, st_Firebird_30);
    EXPECT_EQ(ib.SQLDialect, 3);
    EXPECT_EQ(ib.DBCharSet(), "");
    EXPECT_TRUE(ib.IBCompareOptions.GenerateCOMMIT);
    EXPECT_TRUE(ib.IBCompareOptions.ModifySystemTables);
    EXPECT_TRUE(ib.IBCompareOptions.AllowDataTypeConversion);
    EXPECT_TRUE(ib.IBCompareOptions.UseRECONNECT);
    EXPECT_EQ(ib.IBCompareOptions.UpdateDescriptionMode, udSysTables);
    EXPECT_EQ(ib.IBDatabaseOptions.ODSMajor, 0);
    EXPECT_EQ(ib.IBDatabaseOptions.ServerVersion, "");

    TMSSQLServerOptions ms;
    ms.SQLServerVersion = st_MSSQL2019;
    ms.Collation = "Latin1";
    ms.MSSQLCompareOptions.UpdateColumnPosition = true;
    ms.MSSQLCompareOptions.IgnoreSysName = false;
    ms.MSSQLDatabaseOptions.RecursiveTriggers = true;
    ms.MSSQLDatabaseOptions.DatabaseLevel = 80;
    ms.MSSQLDatabaseOptions.Value1 = 5;
    ms.Reset();
    EXPECT_EQ(ms.SQLServerVersion, st_MSSQL2000);
    EXPECT_EQ(ms.Collation, "");
    EXPECT_TRUE(ms.MSSQLCompareOptions.UpdateColumnPosition);
    EXPECT_TRUE(ms.MSSQLCompareOptions.IgnoreSysName);
    EXPECT_FALSE(ms.MSSQLDatabaseOptions.RecursiveTriggers);
    EXPECT_EQ(ms.MSSQLDatabaseOptions.Value1, 0);
    EXPECT_EQ(ms.MSSQLDatabaseOptions.DatabaseLevel, 80);

    TASEServerOptions ase;
    ase.ASECompareOptions.CompareDBOptions = false;
    ase.ASEDatabaseOptions.Header = "h";
    ase.ASEDatabaseOptions.DBOptionSet.set(3);
    ase.Reset();
    EXPECT_TRUE(ase.ASECompareOptions.CompareDBOptions);
    EXPECT_EQ(ase.ASEDatabaseOptions.Header, "");
    EXPECT_TRUE(ase.ASEDatabaseOptions.DBOptionSet.test(3));

    TPGSQLServerOptions pg;
    pg.SQLServerVersion = st_PostgreSQL_14x;
    pg.Reset();
    EXPECT_EQ(pg.SQLServerVersion, st_PostgreSQL_8x);

    TASAServerOptions asa;
    asa.ASADatabaseOptions.Flag2 = false;
    asa.ASADatabaseOptions.Text2 = "t";
    asa.Reset();
    EXPECT_TRUE(asa.ASADatabaseOptions.Flag2);
    EXPECT_EQ(asa.ASADatabaseOptions.Text2, "");
}

TEST(DBOptions, AssignCopiesAllButTheStatedFields) {
    TIBServerOptions src;
    src.SQLServerVersion = st_Firebird_40;
    src.SQLDialect = 1;
    src.SetDBCharSet("win1252");
    src.IBCompareOptions.UseRECONNECT = false;
    src.IBCompareOptions.GenerateCOMMIT = true;
    src.IBCompareOptions.IgnoreIBEObjects = false;
    src.IBDatabaseOptions.PageSize = 8192;
    src.IBDatabaseOptions.ServerInfo = "info";

    // The executor's and the connection's variants take any server options.
    TIBEngineOptions dst;
    dst.Assign(src);
    EXPECT_EQ(dst.SQLServerVersion, st_Firebird_40);
    EXPECT_EQ(dst.SQLDialect, 1);
    EXPECT_EQ(dst.DBCharSet(), "WIN1252");
    EXPECT_TRUE(dst.IBCompareOptions.GenerateCOMMIT);
    EXPECT_FALSE(dst.IBCompareOptions.IgnoreIBEObjects);
    EXPECT_TRUE(dst.IBCompareOptions.UseRECONNECT);  // stays the receiver's
    EXPECT_EQ(dst.IBDatabaseOptions.PageSize, 8192);
    EXPECT_EQ(dst.IBDatabaseOptions.ServerInfo, "info");

    TIBSQLExecOptions back;
    back.IBCompareOptions.UseRECONNECT = false;
    dst.AssignTo(back);
    EXPECT_FALSE(back.IBCompareOptions.UseRECONNECT);
    EXPECT_EQ(back.DBCharSet(), "WIN1252");

    TASECompareOptions aseSrc, aseDst;
    aseSrc.CompareDBOptions = false;
    aseSrc.IgnoreSysName = false;
    aseDst.Assign(aseSrc);
    EXPECT_TRUE(aseDst.CompareDBOptions);
    EXPECT_FALSE(aseDst.IgnoreSysName);

    TASEDatabaseOptions dbSrc, dbDst;
    dbSrc.Owner = "dbo";
    dbSrc.DBOptionSet.set(0);
    dbDst.DBOptionSet.set(14);
    dbDst.Assign(dbSrc);
    EXPECT_EQ(dbDst.Owner, "dbo");
    EXPECT_FALSE(dbDst.DBOptionSet.test(0));
    EXPECT_TRUE(dbDst.DBOptionSet.test(14));

    TConnectionOptions c1, c2;
    c1.DatabaseName = "d";
    c1.AuxText3 = "hidden";
    c1.Protocol = ptNamedPipe;
    c1.ClientLibrary = "libfbclient.so.2";
    c2.Assign(c1);
    EXPECT_EQ(c2.AuxText3, "hidden");
    EXPECT_EQ(c2.Protocol, ptNamedPipe);
    EXPECT_EQ(c2.ClientLibrary, "libfbclient.so.2");

    TMSSQLServerOptions m1, m2;
    m1.MSSQLDatabaseOptions.DatabaseLevel = 90;
    m1.MSSQLCompareOptions.UpdateColumnPosition = true;
    m2.Assign(m1);
    EXPECT_EQ(m2.MSSQLDatabaseOptions.DatabaseLevel, 90);
    EXPECT_TRUE(m2.MSSQLCompareOptions.UpdateColumnPosition);

    TScriptOptions s1, s2;
    s1.LocalSQL = true;
    s1.DateTimeFormat = "yyyy";
    s2.Assign(s1);
    EXPECT_TRUE(s2.LocalSQL);
    EXPECT_EQ(s2.DateTimeFormat, "yyyy");
}

TEST(DBOptions, DialectStatements) {
    TIBServerOptions o;
    o.SetDBCharSet("win1252");
    EXPECT_EQ(o.DBCharSet(), "WIN1252");
    EXPECT_EQ(o.GetSetNamesStatement(), "SET NAMES WIN1252");
    o.SetDBCharSet("none");
    EXPECT_EQ(o.GetSetNamesStatement(), "");
    o.SetDBCharSet("");
    EXPECT_EQ(o.GetSetNamesStatement(), "");

    EXPECT_EQ(o.GetSetDialectStatement(), "SET SQL DIALECT 3");
    o.SQLDialect = 1;
    EXPECT_EQ(o.GetSetDialectStatement(), "");

    TConnectionOptions c;
    c.UserName = "u";
    EXPECT_EQ(o.GetConnectStatement(c), "");
    c.DatabaseName = "db";
    c.Password = "p";
    EXPECT_EQ(o.GetConnectStatement(c), "CONNECT 'db' USER 'u' PASSWORD 'p'");
    c.RoleName = "r";
    c.UserName = "";
    EXPECT_EQ(o.GetConnectStatement(c), "CONNECT 'db' PASSWORD 'p' ROLE 'r'");
    c.DatabaseName = "/data/o'neil.fdb";
    c.Password = "it's";
    c.RoleName = "";
    EXPECT_EQ(o.GetConnectStatement(c), "CONNECT '/data/o''neil.fdb' PASSWORD 'it''s'");
}

TEST(DBOptions, SupportsDialect3) {
    TIBServerOptions o;
    o.SQLServerVersion = st_InterBase_5x;
    EXPECT_FALSE(o.SupportsDialect3());
    o.IBDatabaseOptions.ODSMajor = 10;
    EXPECT_TRUE(o.SupportsDialect3());
    o.IBDatabaseOptions.ODSMajor = 9;
    EXPECT_FALSE(o.SupportsDialect3());
    o.IBDatabaseOptions.ODSMajor = 0;
    o.SQLServerVersion = st_InterBase_6x;
    EXPECT_TRUE(o.SupportsDialect3());
    o.SQLServerVersion = st_Yaffil_1x;
    EXPECT_TRUE(o.SupportsDialect3());
}

TEST(DBOptions, InfoComment) {
    TIBDatabaseOptions d;
    EXPECT_EQ(d.GetInfoComment(), "");
    d.ServerVersion = "LI-V3.0.11";
    EXPECT_EQ(d.GetInfoComment(), "/* Server version: LI-V3.0.11 \r\n*/");

    d.ODSMajor = 12;
    d.ODSMinor = 0;
    d.DBSQLDialect = 3;
    d.ForcedWrites = 1;
    d.SweepInterval = 20000;
    d.PageSize = 8192;
    d.Buffers = 2048;
    d.ReadOnly = 0;
    EXPECT_EQ(d.GetInfoComment(),
              "/* Server version: LI-V3.0.11 \r\n"
              "   SQLDialect: 3. ODS: 12.0. Forced writes: On. Sweep inteval: 20000.\r\n"
              "   Page size: 8192. Cache pages: 2048 (16384 Kb). Read-only: False. */");

    // Without a version text the comment starts the same way, and a big cache does not overflow.
    TIBServerOptions o;
    o.IBDatabaseOptions.ODSMajor = 13;
    o.IBDatabaseOptions.ODSMinor = 1;
    o.IBDatabaseOptions.PageSize = 32768;
    o.IBDatabaseOptions.Buffers = 1000000;
    o.IBDatabaseOptions.ReadOnly = 1;
    EXPECT_EQ(o.GetDatabaseInfoComment(),
              "/* SQLDialect: 0. ODS: 13.1. Forced writes: Off. Sweep inteval: 0.\r\n"
              "   Page size: 32768. Cache pages: 1000000 (32000000 Kb). Read-only: True. */");
}

TEST(DBOptions, Names) {
    EXPECT_EQ(GetServerVersionName(1, 0), "InterBase 4.x");
    EXPECT_EQ(GetServerVersionName(1, st_Firebird_30), "FireBird 3.0");
    EXPECT_EQ(GetServerVersionName(1, 13), "InterBase 2020");
    EXPECT_EQ(GetServerVersionName(1, 14), "");
    EXPECT_EQ(GetServerVersionName(1, -1), "");
    EXPECT_EQ(GetServerVersionName(9, 0), "");
    EXPECT_EQ(GetServerVersionName(0, 0), "");
    EXPECT_EQ(GetServerVersionName(2, 4), "ASA 9");
    EXPECT_EQ(GetServerVersionName(3, 4), "MariaDB 10.x");
    EXPECT_EQ(GetServerVersionName(4, 8), "Oracle 21.x");
    EXPECT_EQ(GetServerVersionName(5, 6), "MS SQL 2017");
    EXPECT_EQ(GetServerVersionName(6, 7), "PostgreSQL 14.x");
    EXPECT_EQ(GetServerVersionName(7, 3), "DB2 11.x");
    EXPECT_EQ(GetServerVersionName(8, 0), "ASE 12");
    EXPECT_EQ(GetServerVersionName(8, 1), "");

    EXPECT_EQ(TASEDatabaseOptions::GetOptionName(0), "abort tran on log full");
    EXPECT_EQ(TASEDatabaseOptions::GetOptionName(11), "select into/bulkcopy/pllsort");
    EXPECT_EQ(TASEDatabaseOptions::GetOptionName(14), "unique auto_identity index");
    EXPECT_EQ(TASEDatabaseOptions::GetOptionName(15), "");
    EXPECT_EQ(TASEDatabaseOptions::GetOptionName(-1), "");

    EXPECT_EQ(OnOffText(true), "On");
    EXPECT_EQ(OnOffText(false), "Off");
    EXPECT_EQ(TrueFalseText(true), "True");
    EXPECT_EQ(TrueFalseText(false), "False");
}

TEST(DBOptions, MySQLTableOptionsText) {
    TMySQLTableOptions t;
    EXPECT_EQ(t.GetText(), "");
    t.PackKeys = "1";
    t.Engine = "InnoDB";
    EXPECT_EQ(t.GetText(), "\r\nENGINE=InnoDB\r\nPACK_KEYS=1");

    TMySQLTableOptions all;
    all.Engine = "MyISAM";
    all.AvgRowLength = -5;   // any value but 0 is set
    all.SetDefaultCharSet("utf8");
    all.Checksum = 0;        // numbers other than the row length count only above 0
    all.DefaultCollate = "utf8_bin";
    all.Comment = "it's";
    all.Connection = "c";
    all.DataDirectory = "/d";
    all.DelayKeyWrite = 1;
    all.IndexDirectory = "/i";
    all.InsertMethod = "LAST";
    all.KeyBlockSize = 8;
    all.MaxRows = 100;
    all.MinRows = -1;
    all.Password = "p";
    all.RowFormat = "DYNAMIC";
    EXPECT_EQ(all.GetText(),
              "\r\nENGINE=MyISAM\r\nAVG_ROW_LENGTH=-5\r\nDEFAULT CHARSET=utf8\r\nDEFAULT COLLATE=utf8_bin"
              "\r\nCOMMENT='it''s'\r\nCONNECTION='c'\r\nDATA DIRECTORY='/d'\r\nDELAY_KEY_WRITE=1"
              "\r\nINDEX DIRECTORY='/i'\r\nINSERT_METHOD=LAST\r\nKEY_BLOCK_SIZE=8\r\nMAX_ROWS=100"
              "\r\nPASSWORD='p'\r\nROW_FORMAT=DYNAMIC");
}
