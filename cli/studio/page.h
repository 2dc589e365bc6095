// The studio's page: plain HTML, CSS and JavaScript from cli/studio/page/, built into the tool
// (cli/studio/embed_page.cmake writes them into a source file at build time), so the tool serves
// it with nothing fetched from anywhere else.
#pragma once

#include <span>
#include <string_view>

namespace threeway::cli {

struct PageFile {
  std::string_view name;      // "index.html", "studio.js", ...
  std::string_view type;      // its Content-Type
  std::string_view contents;
};

// Every file of the page, in the order the build lists them.
std::span<const PageFile> PageFiles();

// The file named `name`, or null.
inline const PageFile* FindPageFile(std::string_view name) {
  for (const PageFile& file : PageFiles()) {
    if (file.name == name) return &file;
  }
  return nullptr;
}

}  // namespace threeway::cli
