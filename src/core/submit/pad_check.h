#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tesselwick {

// What is wrong with a PAD file in the eyes of the download sites, each
// problem one line in plain words that names the element's path
// ("XML_DIZ_INFO/Program_Info/Program_Version ..."); none when every rule
// holds. The rules, in the order their problems are listed:
//   - the text is well-formed XML (nothing else is checked when it is not),
//     its root element is XML_DIZ_INFO (nor when it is not), and its text
//     with the entities expanded is at most 32 MiB (nor when it is more: a
//     small file whose entities expand to gigabytes costs no memory);
//   - the fields every download site needs are present and hold more than
//     white space (kRequiredPadFields);
//   - each Char_Desc_45/80/250/450/2000 of every language under
//     Program_Descriptions has at most that many characters;
//   - Program_Category_Class is one of the official PAD categories, exactly,
//     and the submission can read it (ExtractCategoryText finds it in the
//     file's bytes, which it cannot in a UTF-16 file): a file the check
//     passes is one whose submission goes on to the sites;
//   - Application_XML_File_URL is `padUrl`, the address submitted, exactly;
//   - Program_Version has no white space inside; File_Size_Bytes is digits
//     only; Program_Release_Month (1 to 12) and Program_Release_Day (1 to 31)
//     are one or two digits, Program_Release_Year four digits, when present
//     and not blank.
//   - Program_Version, the release date's fields and File_Size_Bytes, when
//     present and not blank, also keep to their patterns of the PAD format
//     (PadFieldRules); a text those rules let through is refused in the
//     pattern's words ("... must be a month of two digits, 01 to 12.").
// Values are taken without the white space around them. The check only
// reports: the category that the sites are sent is taken as before
// (ExtractCategoryText). These are the errors: what download sites reject.
std::vector<std::string> CheckPadFile(std::string_view padText, std::string_view padUrl);

// An error is what download sites reject (CheckPadFile); a warning is a
// field of the PAD format whose text does not keep to that field's pattern.
enum class PadProblemLevel { kError, kWarning };

struct PadProblem {
  PadProblemLevel level = PadProblemLevel::kError;
  // The path of the element it is about ("XML_DIZ_INFO/Company_Info/
  // Company_Name"), or empty for a problem of the whole file.
  std::string path;
  // The problem in plain words, one line that begins with the path when it
  // has one.
  std::string text;

  bool operator==(const PadProblem&) const = default;
};

// Every problem of a PAD file: the errors of CheckPadFile, in its order,
// then a warning for each field of PadFieldRules, in their order, whose text
// (the element's whole text with white space trimmed, empty when it is
// missing; the first element of the path counts) the field's pattern refuses,
// unless that field has an error already. A file that is not well-formed, or
// not a PAD file, has that one error alone.
std::vector<PadProblem> CheckPadFields(std::string_view padText, std::string_view padUrl);
// What a PAD file says of the program it describes, for the run log.
struct PadProgram {
  // Program_Info/Program_Name and Program_Info/Program_Version, without the
  // white space around them; empty when absent, when longer than
  // kMostProgramFieldBytes, or when the file is not one CheckPadFile reads
  // (not well-formed, another root element, entities past its bound).
  std::string name;
  std::string version;

  bool operator==(const PadProgram&) const = default;
};
inline constexpr std::size_t kMostProgramFieldBytes = 1024;
PadProgram ReadPadProgram(std::string_view padText);

// The fields, below XML_DIZ_INFO, that download sites require.
inline constexpr const char* kRequiredPadFields[] = {
    "Company_Info/Company_Name",
    "Program_Info/Program_Name",
    "Program_Info/Program_Version",
    "Program_Info/Program_Category_Class",
    "Program_Info/Program_Type",
    "Program_Info/Program_OS_Support",
    "Program_Info/File_Info/File_Size_Bytes",
    "Program_Descriptions/English/Char_Desc_45",
    "Program_Descriptions/English/Char_Desc_80",
    "Web_Info/Application_URLs/Application_Info_URL",
    "Web_Info/Download_URLs/Primary_Download_URL",
    "Web_Info/Application_URLs/Application_XML_File_URL",
};

}  // namespace tesselwick
