#pragma once
// The InterBase/Firebird keywords: the token code of every word, the codes each server version
// reserves, and the further words a version reserves that the DDL parser does not treat as
// keywords. The quoting of generated DDL and the DDL parser both read them from here, so a word
// is quoted exactly when the parser of that version would not read it as a plain name.
#include "core/qnlTypes.h"

#include <bitset>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace qnl {

// Token codes 0 to 29 are the scanner's own (end of text, identifier, literals, punctuation);
// 30 and up are the keywords below. Synonyms share a code.
using TIBToken = uint8_t;
inline constexpr TIBToken IBIdentToken = 1;

inline constexpr TIBToken kwACTION = 30;
inline constexpr TIBToken kwACTIVE = 31;
inline constexpr TIBToken kwADD = 32;
inline constexpr TIBToken kwADMIN = 33;
inline constexpr TIBToken kwAFTER = 34;
inline constexpr TIBToken kwALL = 35;
inline constexpr TIBToken kwALTER = 36;
inline constexpr TIBToken kwAND = 37;
inline constexpr TIBToken kwANY = 38;
inline constexpr TIBToken kwAS = 39;
inline constexpr TIBToken kwASC = 40;
inline constexpr TIBToken kwASCENDING = kwASC;
inline constexpr TIBToken kwAT = 41;
inline constexpr TIBToken kwAUTO = 42;
inline constexpr TIBToken kwAVG = 43;
inline constexpr TIBToken kwBEFORE = 44;
inline constexpr TIBToken kwBEGIN = 45;
inline constexpr TIBToken kwBETWEEN = 46;
inline constexpr TIBToken kwBIGINT = 47;
inline constexpr TIBToken kwBINARY = 48;
inline constexpr TIBToken kwBLOB = 49;
inline constexpr TIBToken kwBOOLEAN = 50;
inline constexpr TIBToken kwBY = 51;
inline constexpr TIBToken kwCACHE = 52;
inline constexpr TIBToken kwCASCADE = 53;
inline constexpr TIBToken kwCASE = 54;
inline constexpr TIBToken kwCAST = 55;
inline constexpr TIBToken kwCHAR = 56;
inline constexpr TIBToken kwCHARACTER = kwCHAR;
inline constexpr TIBToken kwCHECK = 57;
inline constexpr TIBToken kwCHECK_POINT_LENGTH = 58;
inline constexpr TIBToken kwCLOSE = 59;
inline constexpr TIBToken kwCOLLATE = 60;
inline constexpr TIBToken kwCOLUMN = 61;
inline constexpr TIBToken kwCOMMIT = 62;
inline constexpr TIBToken kwCOMPUTED = 63;
inline constexpr TIBToken kwCONDITIONAL = 64;
inline constexpr TIBToken kwCONSTRAINT = 65;
inline constexpr TIBToken kwCONTAINING = 66;
inline constexpr TIBToken kwCOUNT = 67;
inline constexpr TIBToken kwCREATE = 68;
inline constexpr TIBToken kwCROSS = 69;
inline constexpr TIBToken kwCSTRING = 70;
inline constexpr TIBToken kwCURRENT = 71;
inline constexpr TIBToken kwCURRENT_DATE = 72;
inline constexpr TIBToken kwCURRENT_TIME = 73;
inline constexpr TIBToken kwCURRENT_TIMESTAMP = 74;
inline constexpr TIBToken kwCURSOR = 75;
inline constexpr TIBToken kwDATABASE = 76;
inline constexpr TIBToken kwDATE = 77;
inline constexpr TIBToken kwDEC = 78;
inline constexpr TIBToken kwDECIMAL = kwDEC;
inline constexpr TIBToken kwDECLARE = 79;
inline constexpr TIBToken kwDEFAULT = 80;
inline constexpr TIBToken kwDELETE = 81;
inline constexpr TIBToken kwDESC = 82;
inline constexpr TIBToken kwDESCENDING = kwDESC;
inline constexpr TIBToken kwDESCRIBE = 83;
inline constexpr TIBToken kwDESCRIPTOR = 84;
inline constexpr TIBToken kwDISTINCT = 85;
inline constexpr TIBToken kwDO = 86;
inline constexpr TIBToken kwDOMAIN = 87;
inline constexpr TIBToken kwDOUBLE = 88;
inline constexpr TIBToken kwDROP = 89;
inline constexpr TIBToken kwELSE = 90;
inline constexpr TIBToken kwEND = 91;
inline constexpr TIBToken kwENTRY_POINT = 92;
inline constexpr TIBToken kwESCAPE = 93;
inline constexpr TIBToken kwEXCEPTION = 94;
inline constexpr TIBToken kwEXECUTE = 95;
inline constexpr TIBToken kwEXISTS = 96;
inline constexpr TIBToken kwEXIT = 97;
inline constexpr TIBToken kwEXTERNAL = 98;
inline constexpr TIBToken kwEXTRACT = 99;
inline constexpr TIBToken kwFETCH = 100;
inline constexpr TIBToken kwFILE = 101;
inline constexpr TIBToken kwFILTER = 102;
inline constexpr TIBToken kwFLOAT = 103;
inline constexpr TIBToken kwFOR = 104;
inline constexpr TIBToken kwFOREIGN = 105;
inline constexpr TIBToken kwFREE_IT = 106;
inline constexpr TIBToken kwFROM = 107;
inline constexpr TIBToken kwFULL = 108;
inline constexpr TIBToken kwFUNCTION = 109;
inline constexpr TIBToken kwGDSCODE = 110;
inline constexpr TIBToken kwGENERATOR = 111;
inline constexpr TIBToken kwGEN_ID = 112;
inline constexpr TIBToken kwGLOBAL = 113;
inline constexpr TIBToken kwGRANT = 114;
inline constexpr TIBToken kwGROUP = 115;
inline constexpr TIBToken kwHAVING = 116;
inline constexpr TIBToken kwIF = 117;
inline constexpr TIBToken kwIN = 118;
inline constexpr TIBToken kwINACTIVE = 119;
inline constexpr TIBToken kwINDEX = 120;
inline constexpr TIBToken kwINNER = 121;
inline constexpr TIBToken kwINSERT = 122;
inline constexpr TIBToken kwINT = 123;
inline constexpr TIBToken kwINTEGER = kwINT;
inline constexpr TIBToken kwINTO = 124;
inline constexpr TIBToken kwIS = 125;
inline constexpr TIBToken kwJOIN = 126;
inline constexpr TIBToken kwKEY = 127;
inline constexpr TIBToken kwLEFT = 128;
inline constexpr TIBToken kwLIKE = 129;
inline constexpr TIBToken kwMAX = 130;
inline constexpr TIBToken kwMERGE = 131;
inline constexpr TIBToken kwMIN = 132;
inline constexpr TIBToken kwMODULE_NAME = 133;
inline constexpr TIBToken kwNAMES = 134;
inline constexpr TIBToken kwNATIONAL = 135;
inline constexpr TIBToken kwNATURAL = 136;
inline constexpr TIBToken kwNCHAR = 137;
inline constexpr TIBToken kwNO = 138;
inline constexpr TIBToken kwNOT = 139;
inline constexpr TIBToken kwNULL = 140;
inline constexpr TIBToken kwNUMERIC = 141;
inline constexpr TIBToken kwOF = 142;
inline constexpr TIBToken kwON = 143;
inline constexpr TIBToken kwOPEN = 144;
inline constexpr TIBToken kwOPTION = 145;
inline constexpr TIBToken kwOR = 146;
inline constexpr TIBToken kwORDER = 147;
inline constexpr TIBToken kwOUTER = 148;
inline constexpr TIBToken kwPAGE_SIZE = 149;
inline constexpr TIBToken kwPARAMETER = 150;
inline constexpr TIBToken kwPASSWORD = 151;
inline constexpr TIBToken kwPERCENT = 152;
inline constexpr TIBToken kwPLAN = 153;
inline constexpr TIBToken kwPOSITION = 154;
inline constexpr TIBToken kwPOST_EVENT = 155;
inline constexpr TIBToken kwPRECISION = 156;
inline constexpr TIBToken kwPRESERVE = 157;
inline constexpr TIBToken kwPRIMARY = 158;
inline constexpr TIBToken kwPRIVILEGES = 159;
inline constexpr TIBToken kwPROCEDURE = 160;
inline constexpr TIBToken kwRDB_DB_KEY = 161;
inline constexpr TIBToken kwREAL = 162;
inline constexpr TIBToken kwRECREATE = 163;
inline constexpr TIBToken kwREFERENCES = 164;
inline constexpr TIBToken kwRELEASE = 165;
inline constexpr TIBToken kwRETURNING_VALUES = 166;
inline constexpr TIBToken kwRETURNS = 167;
inline constexpr TIBToken kwREVOKE = 168;
inline constexpr TIBToken kwRIGHT = 169;
inline constexpr TIBToken kwROLE = 170;
inline constexpr TIBToken kwROWS = 171;
inline constexpr TIBToken kwSAVEPOINT = 172;
inline constexpr TIBToken kwSEGMENT = 173;
inline constexpr TIBToken kwSELECT = 174;
inline constexpr TIBToken kwSET = 175;
inline constexpr TIBToken kwSIMILAR = 176;
inline constexpr TIBToken kwSINGULAR = 177;
inline constexpr TIBToken kwSIZE = 178;
inline constexpr TIBToken kwSMALLINT = 179;
inline constexpr TIBToken kwSOME = 180;
inline constexpr TIBToken kwSORT = 181;
inline constexpr TIBToken kwSQLCODE = 182;
inline constexpr TIBToken kwSTARTING = 183;
inline constexpr TIBToken kwSTARTS = 184;
inline constexpr TIBToken kwSTATISTICS = 185;
inline constexpr TIBToken kwSUB_TYPE = 186;
inline constexpr TIBToken kwSUM = 187;
inline constexpr TIBToken kwSUSPEND = 188;
inline constexpr TIBToken kwTABLE = 189;
inline constexpr TIBToken kwTEMPORARY = 190;
inline constexpr TIBToken kwTHEN = 191;
inline constexpr TIBToken kwTIES = 192;
inline constexpr TIBToken kwTIME = 193;
inline constexpr TIBToken kwTIMESTAMP = 194;
inline constexpr TIBToken kwTO = 195;
inline constexpr TIBToken kwTRIGGER = 196;
inline constexpr TIBToken kwTYPE = 197;
inline constexpr TIBToken kwUNION = 198;
inline constexpr TIBToken kwUNIQUE = 199;
inline constexpr TIBToken kwUPDATE = 200;
inline constexpr TIBToken kwUPPER = 201;
inline constexpr TIBToken kwUSER = 202;
inline constexpr TIBToken kwUSING = 203;
inline constexpr TIBToken kwVALUE = 204;
inline constexpr TIBToken kwVALUES = 205;
inline constexpr TIBToken kwVARBINARY = 206;
inline constexpr TIBToken kwVARCHAR = 207;
inline constexpr TIBToken kwVARIABLE = 208;
inline constexpr TIBToken kwVARYING = 209;
inline constexpr TIBToken kwVIEW = 210;
inline constexpr TIBToken kwWHEN = 211;
inline constexpr TIBToken kwWHERE = 212;
inline constexpr TIBToken kwWHILE = 213;
inline constexpr TIBToken kwWITH = 214;
inline constexpr TIBToken kwWORK = 215;
inline constexpr TIBToken kwYEAR = 216;
inline constexpr TIBToken kwYEARDAY = 217;
inline constexpr TIBToken kwCharsetIntroducer = 218;  // "_<charset>"
inline constexpr TIBToken kwAssign = 219;            // ":="
inline constexpr TIBToken kwDECFLOAT = 220;
inline constexpr TIBToken kwLastIBToken = kwDECFLOAT;

struct TIBKeyword {
    std::string_view Word;
    TIBToken Token;
};

// The keyword table, one entry per word, "_<charset>" (the name of the character-set introducer
// token, which no identifier can spell) included. ":=" and DECFLOAT have codes but no word.
std::span<const TIBKeyword> IBKeywords();

// The set of token codes a server version reserves; a keyword outside it reads as a name.
using TIBTokenSet = std::bitset<256>;
const TIBTokenSet& IBReservedTokens(TIBSQLServerVersionType Version);
bool IBIsReserved(TIBToken Token, TIBSQLServerVersionType Version);

// Words a version reserves beyond the parser's keywords; they matter only for quoting.
const std::vector<std::string_view>& IBExtraReservedWords(TIBSQLServerVersionType Version);

// The code of the word (upper-cased in ASCII) when the version reserves it, else 1.
TIBToken GetIBKeywordToken(std::string_view Word, TIBSQLServerVersionType Version);

// True when the name must be written in double quotes for the version in SQL dialect 3: it is
// not an upper-case letter followed by upper-case letters, digits, "_" and "$", or the version
// reserves it.
bool IBNeedQuote(std::string_view Name, TIBSQLServerVersionType Version);

} // namespace qnl
