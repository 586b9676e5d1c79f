// Download sites and a PAD file that make a submission run heavy, for
// measuring the memory of tesselwick-submit from outside (scripts/submit-memory.sh).
//
//   answer_sites FOLDER large-answers [N [MIB]]   N sites (default 100), each
//       answering MIB MiB (default 8); a PAD file with a short category
//   answer_sites FOLDER long-category [N [MB]]    N sites (default 100) whose
//       requests carry the category; a PAD file whose category is MB million
//       bytes (default 2.6) outside ASCII, so that it is escaped to three times
//       its length
//
// Writes FOLDER/pad.dat with the sites, prints the PAD file's URL on one line
// and serves until its standard input ends.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "support/test_http_server.h"

namespace tesselwick {
namespace {

using test::Reply;
using test::TestHttpServer;

int Usage() {
  std::fprintf(stderr,
               "usage: answer_sites FOLDER large-answers [N [MIB]]\n"
               "       answer_sites FOLDER long-category [N [MB]]\n");
  return 2;
}

std::string PadFile(const std::string& category) {
  return "<?xml version=\"1.0\"?>\r\n<XML_DIZ_INFO>\r\n<Program_Info>\r\n"
         "<Program_Name>Heavy Run</Program_Name>\r\n<Program_Category_Class>" +
         category + "</Program_Category_Class>\r\n</Program_Info>\r\n</XML_DIZ_INFO>\r\n";
}

int Run(const std::string& folder, const std::string& kind, int sites, double size) {
  TestHttpServer server;
  const bool largeAnswers = kind == "large-answers";
  if (largeAnswers) {
    server.Set("/pad.xml", Reply::Text(PadFile("Games::Puzzle")));
    server.Set("/site", Reply::Huge(static_cast<std::size_t>(size * 1024 * 1024)));
  } else {
    // "é" in the ANSI code page, one byte each.
    server.Set(
        "/pad.xml",
        Reply::Text(PadFile(std::string(static_cast<std::size_t>(size * 1000 * 1000), '\xE9'))));
    server.Set("/site", Reply::Text("Thank you"));
  }

  std::string file;
  for (int n = 1; n <= sites; ++n) {
    const std::string title = "Site " + std::to_string(n);
    file += "TITLE=" + title + "\r\nURL=http://site" + std::to_string(n) +
            ".example/\r\nSUBMITURL=http://site" + std::to_string(n) +
            ".example/add\r\nGETORPOST=" + server.Url("/site?n=" + std::to_string(n)) +
            "&pad=%PADURL%&cat=%CATEGORY%\r\n";
  }
  std::ofstream out(folder + "/pad.dat", std::ios::binary | std::ios::trunc);
  out << file;
  out.close();
  if (!out) {
    std::fprintf(stderr, "answer_sites: could not write %s/pad.dat\n", folder.c_str());
    return 1;
  }

  std::cout << server.Url("/pad.xml") << std::endl;
  // Serves until whoever started it closes our standard input.
  for (std::string line; std::getline(std::cin, line);) {
  }
  return 0;
}

}  // namespace
}  // namespace tesselwick

int main(int argc, char** argv) {
  if (argc < 3) return tesselwick::Usage();
  const std::string kind = argv[2];
  if (kind != "large-answers" && kind != "long-category") return tesselwick::Usage();
  const int sites = argc > 3 ? std::atoi(argv[3]) : 100;
  const double size = argc > 4 ? std::atof(argv[4]) : (kind == "large-answers" ? 8.0 : 2.6);
  if (sites < 1 || size <= 0) return tesselwick::Usage();
  return tesselwick::Run(argv[1], kind, sites, size);
}
