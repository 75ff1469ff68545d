#include "playback/EDFIdentification.h"

#include "playback/EDFDateTime.h"
#include "playback/TextTokens.h"

namespace {

const int kMaxSubFields = 64;

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = *a;
        char cb = *b;
        if (ca >= 'A' && ca <= 'Z') {
            ca = static_cast<char>(ca - 'A' + 'a');
        }
        if (cb >= 'A' && cb <= 'Z') {
            cb = static_cast<char>(cb - 'A' + 'a');
        }
        if (ca != cb) {
            return false;
        }
        if (ca == '\0') {
            return true;
        }
    }
}

} // namespace

// Every token is copied into the object before the date is parsed: the date parser writes terminators into
// its token and must not be able to touch the others.
bool EDFLocalPatientIdentification::ParsePatientIdentificationSubFields(char* text) {
    char* tokens[kMaxSubFields];
    const int count = btParseBySpace(text, tokens, kMaxSubFields);
    if (count < 4) {
        return false;
    }
    m_strPatientCode = tokens[0];
    m_strSex = tokens[1];
    m_strPatientName = tokens[3];
    for (int i = 4; i < count; ++i) {
        m_FurtherSubFields.emplace_back(tokens[i]);
    }
    m_nBirthdate = btParseDate(tokens[2], "dd-MMM-yyyy");
    return true;
}

bool EDFLocalRecordingIdentification::ParseRecordingIdentificationSubFields(char* text) {
    char* tokens[kMaxSubFields];
    const int count = btParseBySpace(text, tokens, kMaxSubFields);
    if (count < 5 || !EqualsIgnoringCase(tokens[0], "startdate")) {
        return false;
    }
    m_strHospitalAdministrationCode = tokens[2];
    m_strTechnicianCode = tokens[3];
    m_strEquipmentCode = tokens[4];
    for (int i = 5; i < count; ++i) {
        m_FurtherSubFields.emplace_back(tokens[i]);
    }
    m_nStartDate = btParseDate(tokens[1], "dd-MMM-yyyy");
    return true;
}
