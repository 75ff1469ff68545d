#pragma once

#include <string>
#include <vector>

// The EDF+ local patient and recording identification fields, split into their sub-fields. A field that
// does not follow EDF+ leaves its object unchanged. The unknown mark "X" is kept as text (as a date it gives
// the date default); underscores stay as they are.

class EDFLocalPatientIdentification {
public:
    // "code sex dd-MMM-yyyy name [further ...]". False (nothing stored) with fewer than four sub-fields.
    // Works in place: writes terminators into text.
    bool ParsePatientIdentificationSubFields(char* text);

    std::string m_strPatientCode;
    std::string m_strSex;
    int m_nBirthdate = 0; // packed date
    std::string m_strPatientName;
    std::vector<std::string> m_FurtherSubFields;
};

class EDFLocalRecordingIdentification {
public:
    // "Startdate dd-MMM-yyyy admincode technician equipment [further ...]". False (nothing stored) with fewer
    // than five sub-fields or a first one other than "Startdate" (any case). Works in place.
    bool ParseRecordingIdentificationSubFields(char* text);

    int m_nStartDate = 0; // packed date
    std::string m_strHospitalAdministrationCode;
    std::string m_strTechnicianCode;
    std::string m_strEquipmentCode;
    std::vector<std::string> m_FurtherSubFields;
};
