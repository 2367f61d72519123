// The application's own texts: what the save command writes into a file's header and what the
// about box shows.
#ifndef VARNHOLT_APPTEXTS_H
#define VARNHOLT_APPTEXTS_H

namespace varnholt {

inline constexpr const char* kSchemaDescription =
    "ISO 14649 - combined schema for milling (IS August 2003) and turning (DIS August 2003)";
inline constexpr const char* kAuthorText = "Varnholt developers";
inline constexpr const char* kOrganizationText = "Varnholt";
inline constexpr const char* kProgramName = "Varnholt";
inline constexpr const char* kAuthorization = "Testversion";
inline constexpr const char* kVersion = "0.1.0";

}  // namespace varnholt

#endif
