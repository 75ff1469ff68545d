// EDF+ identification sub-fields, dates, times, tokens and trimming.
#include "playback/EDFDateTime.h"
#include "playback/EDFIdentification.h"
#include "playback/TextTokens.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A writable copy of a text, with guard bytes after its terminator to catch writes past it.
struct Text {
    explicit Text(const std::string& s) : bytes(s.begin(), s.end()) {
        bytes.push_back('\0');
        bytes.insert(bytes.end(), {'G', 'U', 'A', 'R', 'D', '\0'});
    }
    char* get() { return bytes.data(); }
    bool GuardIntact() const { return std::memcmp(bytes.data() + bytes.size() - 6, "GUARD", 6) == 0; }
    std::vector<char> bytes;
};

std::vector<std::string> Split(const std::string& s, int max) {
    Text t(s);
    std::vector<char*> tokens(static_cast<size_t>(max > 0 ? max : 1));
    const int n = btParseBySpace(t.get(), tokens.data(), max);
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
        out.emplace_back(tokens[static_cast<size_t>(i)]);
    }
    EXPECT_TRUE(t.GuardIntact());
    return out;
}

TEST(BtParseBySpace, SplitsOnSpaceTabLineFeedAndCarriageReturn) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split("  a bc\td\r\ne  ", 64), (V{"a", "bc", "d", "e"}));
    EXPECT_EQ(Split("", 64), V{});
    EXPECT_EQ(Split(" \t\r\n", 64), V{});
    EXPECT_EQ(Split("one", 64), V{"one"});
    // Vertical tab and form feed are not blanks here.
    EXPECT_EQ(Split("a\vb\fc", 64), V{"a\vb\fc"});
    EXPECT_EQ(btParseBySpace(nullptr, nullptr, 4), 0);
}

TEST(BtParseBySpace, StoresAtMostMaxTokens) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Split("a b c d", 2), (V{"a", "b"}));
    EXPECT_EQ(Split("a b", 0), V{});
    // The blank after each token becomes a terminator; scanning goes on after it.
    Text t("ab cd ef");
    char* tokens[2];
    ASSERT_EQ(btParseBySpace(t.get(), tokens, 2), 2);
    EXPECT_EQ(std::memcmp(t.get(), "ab\0cd\0ef", 9), 0);
}

TEST(PatientIdentification, FourSubFields) {
    EDFLocalPatientIdentification p;
    Text t("P-0042 F 02-MAY-1951 Patient_A");
    ASSERT_TRUE(p.ParsePatientIdentificationSubFields(t.get()));
    EXPECT_EQ(p.m_strPatientCode, "P-0042");
    EXPECT_EQ(p.m_strSex, "F");
    EXPECT_EQ(p.m_nBirthdate, 19510502);
    EXPECT_EQ(p.m_strPatientName, "Patient_A");
    EXPECT_TRUE(p.m_FurtherSubFields.empty());
}

TEST(PatientIdentification, FurtherSubFieldsInOrder) {
    EDFLocalPatientIdentification p;
    Text t("  MCH-0234567 M 16-SEP-1987 Haagse_Harry  extra  more\t");
    ASSERT_TRUE(p.ParsePatientIdentificationSubFields(t.get()));
    EXPECT_EQ(p.m_strPatientName, "Haagse_Harry");
    EXPECT_EQ(p.m_nBirthdate, 19870916);
    EXPECT_EQ(p.m_FurtherSubFields, (std::vector<std::string>{"extra", "more"}));
}

TEST(PatientIdentification, ThreeSubFieldsStoreNothing) {
    EDFLocalPatientIdentification p;
    Text t("P-0042 F 02-MAY-1951");
    EXPECT_FALSE(p.ParsePatientIdentificationSubFields(t.get()));
    EXPECT_EQ(p.m_strPatientCode, "");
    EXPECT_EQ(p.m_strSex, "");
    EXPECT_EQ(p.m_nBirthdate, 0);
    EXPECT_EQ(p.m_strPatientName, "");
}

// The unknown mark as a birthdate: the date default, and the name right after it stays whole.
TEST(PatientIdentification, UnknownMarksKeepTheirNeighbours) {
    EDFLocalPatientIdentification p;
    Text t("X X X X");
    ASSERT_TRUE(p.ParsePatientIdentificationSubFields(t.get()));
    EXPECT_EQ(p.m_strPatientCode, "X");
    EXPECT_EQ(p.m_strSex, "X");
    EXPECT_EQ(p.m_nBirthdate, 20110101);
    EXPECT_EQ(p.m_strPatientName, "X");

    EDFLocalPatientIdentification q;
    Text u("C M 1-2 Name_Of_Patient tail");
    ASSERT_TRUE(q.ParsePatientIdentificationSubFields(u.get()));
    EXPECT_EQ(q.m_nBirthdate, 20110101);
    EXPECT_EQ(q.m_strPatientName, "Name_Of_Patient");
    EXPECT_EQ(q.m_FurtherSubFields, std::vector<std::string>{"tail"});
    EXPECT_TRUE(u.GuardIntact());
}

TEST(RecordingIdentification, StartdateAndCodes) {
    EDFLocalRecordingIdentification r;
    Text t("Startdate 02-MAR-2002 A-17 T1 Amp3 extra");
    ASSERT_TRUE(r.ParseRecordingIdentificationSubFields(t.get()));
    EXPECT_EQ(r.m_nStartDate, 20020302);
    EXPECT_EQ(r.m_strHospitalAdministrationCode, "A-17");
    EXPECT_EQ(r.m_strTechnicianCode, "T1");
    EXPECT_EQ(r.m_strEquipmentCode, "Amp3");
    EXPECT_EQ(r.m_FurtherSubFields, std::vector<std::string>{"extra"});
}

TEST(RecordingIdentification, FirstTokenComparedWithoutCase) {
    EDFLocalRecordingIdentification r;
    Text t("STARTDATE 31-dec-1999 X X X");
    ASSERT_TRUE(r.ParseRecordingIdentificationSubFields(t.get()));
    EXPECT_EQ(r.m_nStartDate, 19991231);
    EXPECT_EQ(r.m_strHospitalAdministrationCode, "X");
    EXPECT_EQ(r.m_strTechnicianCode, "X");
    EXPECT_EQ(r.m_strEquipmentCode, "X");
}

TEST(RecordingIdentification, RefusedFieldsStoreNothing) {
    for (const char* text : {"Recording 02-MAR-2002 A-17 T1 Amp3", "Startdate 02-MAR-2002 A-17 T1", "",
                             "Startdatex 02-MAR-2002 A B C"}) {
        EDFLocalRecordingIdentification r;
        Text t(text);
        EXPECT_FALSE(r.ParseRecordingIdentificationSubFields(t.get())) << text;
        EXPECT_EQ(r.m_nStartDate, 0) << text;
        EXPECT_EQ(r.m_strHospitalAdministrationCode, "") << text;
        EXPECT_TRUE(r.m_FurtherSubFields.empty()) << text;
    }
}

TEST(RecordingIdentification, UnknownStartdateGivesDefaultAndKeepsCodes) {
    EDFLocalRecordingIdentification r;
    Text t("Startdate X A B C");
    ASSERT_TRUE(r.ParseRecordingIdentificationSubFields(t.get()));
    EXPECT_EQ(r.m_nStartDate, 20110101);
    EXPECT_EQ(r.m_strHospitalAdministrationCode, "A");
}

struct DateCase {
    const char* text;
    const char* format;
    int expected;
};

TEST(BtParseDate, Cases) {
    const DateCase cases[] = {
        {"16.04.85", "dd.MM.yy", 19850416},
        {"16.04.80", "dd.MM.yy", 20800416},
        {"16.04.81", "dd.MM.yy", 19810416},
        {"16.04.99", "dd.MM.yy", 19990416},
        {"01.01.00", "dd.MM.yy", 20000101},
        {"16.04.2017", "dd.MM.yy", 20170416}, // a year above 99 is used as written
        {"31.13.05", "dd.MM.yy", 20051331},   // ranges are not checked
        {"xx.04.85", "dd.MM.yy", 20110101},
        {"16.04.", "dd.MM.yy", 20110101},
        {"16.04", "dd.MM.yy", 20110101}, // too short: nothing written
        {"02-Xyz-2002", "dd-MMM-yyyy", 20110101},
        {"02-mar-2002", "dd-MMM-yyyy", 20020302},
        {"02-MAR-2002", "dd-MMM-yyyy", 20020302},
        {"15-aUg-2011", "dd-MMM-yyyy", 20110815},
        {"02-MAR-", "dd-MMM-yyyy", 20110101},
        {"02-MAR", "dd-MMM-yyyy", 20110101},
        {"X", "dd-MMM-yyyy", 20110101},
        {"", "dd-MMM-yyyy", 20110101},
        {"01-JAN-999999", "dd-MMM-yyyy", 20110101}, // year * 10000 beyond 32 bits
        {"01-JAN-214748", "dd-MMM-yyyy", 2147480101},
        {"01-JAN-2147483648", "dd-MMM-yyyy", 20110101},
        {"16.04.85", "yyyy-MM-dd", 20110101},
        {"16.04.85", "", 20110101},
    };
    for (const DateCase& c : cases) {
        Text t(c.text);
        EXPECT_EQ(btParseDate(t.get(), c.format), c.expected) << c.text << " as " << c.format;
        EXPECT_TRUE(t.GuardIntact()) << c.text;
    }
    EXPECT_EQ(btParseDate(nullptr, "dd.MM.yy"), 20110101);
    Text t("16.04.85");
    EXPECT_EQ(btParseDate(t.get(), nullptr), 20110101);
}

// A text shorter than its format is left exactly as it was: the next token in memory stays intact.
TEST(BtParseDate, ShortTextIsNotWritten) {
    for (const char* format : {"dd-MMM-yyyy", "dd.MM.yy"}) {
        char text[] = "X\0next\0";
        EXPECT_EQ(btParseDate(text, format), 20110101);
        EXPECT_EQ(std::memcmp(text, "X\0next\0", 8), 0) << format;
    }
    char time[] = "1.2\0next";
    EXPECT_EQ(btParseTime(time, "HH.mm.ss"), 0);
    EXPECT_EQ(std::memcmp(time, "1.2\0next", 9), 0);
}

TEST(BtParseTime, Cases) {
    const DateCase cases[] = {
        {"9.05.07", "H.mm.ss", 90507},    {"13.05.09", "H.mm.ss", 130509},
        {"90507", "H.mm.ss", 0},          {"9.05", "H.mm.ss", 0},
        {"a.05.07", "H.mm.ss", 0},        {"9..07", "H.mm.ss", 0},
        {"23.59.58", "HH.mm.ss", 235958}, {"00.00.00", "HH.mm.ss", 0},
        {"25.61.99", "HH.mm.ss", 256199}, // ranges are not checked
        {"23.59.", "HH.mm.ss", 0},        {"ab.cd.ef", "HH.mm.ss", 0},
        {"23.59.58", "hh:mm:ss", 0},      {"999999.0.0", "H.mm.ss", 0}, // beyond 32 bits
    };
    for (const DateCase& c : cases) {
        Text t(c.text);
        EXPECT_EQ(btParseTime(t.get(), c.format), c.expected) << c.text << " as " << c.format;
        EXPECT_TRUE(t.GuardIntact()) << c.text;
    }
    EXPECT_EQ(btParseTime(nullptr, "HH.mm.ss"), 0);
}

TEST(IMMMtoMonth, WholeTextWithoutCase) {
    const char* months[] = {"JAN", "feb", "Mar", "aPR", "MAY", "JUN",
                            "JUL", "AUG", "SEP", "OCT", "NOV", "dec"};
    for (int m = 0; m < 12; ++m) {
        EXPECT_EQ(iMMMtoMonth(months[m]), m + 1) << months[m];
    }
    for (const char* bad : {"", "MA", "MAYX", " MAY", "JANUARY", "XYZ"}) {
        EXPECT_EQ(iMMMtoMonth(bad), 0) << bad;
    }
    EXPECT_EQ(iMMMtoMonth(nullptr), 0);
}

TEST(StringTrim, Cases) {
    struct Case {
        const char* in;
        const char* both;
        const char* right;
        const char* left;
    };
    const Case cases[] = {
        {"  ab c \r\n", "ab c", "  ab c", "ab c \r\n"},
        {"\t\v\f x", "x", "\t\v\f x", "x"},
        {"", "", "", ""},
        {" \r\n ", "", "", ""},
        {"abc", "abc", "abc", "abc"},
    };
    for (const Case& c : cases) {
        Text both(c.in), right(c.in), left(c.in);
        StringTrim(both.get());
        StringTrimRight(right.get());
        StringTrimLeft(left.get());
        EXPECT_STREQ(both.get(), c.both) << '"' << c.in << '"';
        EXPECT_STREQ(right.get(), c.right) << '"' << c.in << '"';
        EXPECT_STREQ(left.get(), c.left) << '"' << c.in << '"';
    }
    StringTrim(nullptr);
}

} // namespace
