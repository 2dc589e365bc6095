// The layers of the tree point one way. Every `#include "..."` of the product and tool folders is
// read from the source tree and checked against the table below: a folder may include its own
// headers, the headers of the folders it is allowed to call, and the leaf headers (the shared
// vocabulary every layer speaks, which include nothing of the project but other leaves).
//
//   cli, frei0r            the tools around the module (they load it through the host)
//     host                 a real host: loads the module, serves the host interface
//   ---------------------- the module ----------------------
//   entry                  entry point, command handlers
//     render               render command, renderer, frame pass, mask softening
//       kernels            per-pixel correction, qualifier kernels
//   params                 the parameter catalogue, declarers, string table (serves entry, render)
//   ---------------------- the host's libraries ----------------------
//   framewell -> pixmill   stand-ins for the host's frame and image libraries
//   simd                   the vector lane types and the path switch (leaf headers, below all)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Shared vocabulary: the host interface records and result codes, the suite helper's declaration,
// the renderer settings types shared by the renderer and the kernels, the auto level rule the
// module and the tool's scopes both apply, the BT.601 coefficients, the switch that narrows every
// vector path and the lane types the vector code of the image library and the kernels is written over.
const std::set<std::string> kLeafHeaders = {
    "entry/host_interface.h",
    "entry/suites.h",
    "entry/auto_levels.h",
    "pixmill/bt601.h",
    "simd/lanes_avx2.h",
    "simd/lanes_avx512.h",
    "simd/vector_switch.h",
    "render/renderer_settings.h",
};

// Folder -> the folders whose headers it may include (besides its own and the leaves).
const std::map<std::string, std::set<std::string>> kAllowed = {
    {"simd", {}},
    {"pixmill", {}},
    {"framewell", {"pixmill"}},
    {"params", {}},
    {"kernels", {}},
    {"render", {"kernels", "params", "pixmill", "framewell"}},
    {"entry", {"render", "kernels", "params"}},
    {"host", {"params"}},
    {"frei0r", {"host", "params", "pixmill"}},
    {"cli", {"host", "params", "pixmill", "framewell"}},
};

struct Include {
  std::string file;  // relative to the source root
  int line;
  std::string target;
};

// The project includes of one file (relative to the source root), appended to `found`.
void IncludesOf(const fs::path& root, const std::string& file, std::vector<Include>& found) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*"([^"]+)\")");
  std::ifstream in(root / file);
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    std::smatch match;
    if (!std::regex_search(text, match, kInclude)) continue;
    std::string target = match[1];
    // A bare name is a header beside the including file.
    if (target.find('/') == std::string::npos) target = (fs::path(file).parent_path() / target).generic_string();
    found.push_back({file, line, target});
  }
}

std::vector<Include> IncludesUnder(const fs::path& root, const std::string& folder) {
  std::vector<Include> found;
  for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".h" || ext == ".cpp")) {
      IncludesOf(root, fs::relative(entry.path(), root).generic_string(), found);
    }
  }
  return found;
}

std::string TopFolder(const std::string& path) { return path.substr(0, path.find('/')); }

TEST(Layers, EveryIncludePointsDownOrAtALeaf) {
  const fs::path root = THREEWAY_SOURCE_DIR;
  std::size_t checked = 0;
  for (const auto& [folder, allowed] : kAllowed) {
    for (const Include& include : IncludesUnder(root, folder)) {
      ++checked;
      const std::string to = TopFolder(include.target);
      const bool ok = to == folder || allowed.count(to) != 0 || kLeafHeaders.count(include.target) != 0;
      EXPECT_TRUE(ok) << include.file << ":" << include.line << " includes " << include.target
                      << " against the direction of the layers";
      EXPECT_TRUE(fs::exists(root / include.target) || !ok)
          << include.file << ":" << include.line << " includes " << include.target
          << ", which is not in the tree";
    }
  }
  EXPECT_GT(checked, 100u);  // the walk really read the tree
}

TEST(Layers, LeafHeadersIncludeOnlyLeaves) {
  const fs::path root = THREEWAY_SOURCE_DIR;
  for (const std::string& leaf : kLeafHeaders) {
    ASSERT_TRUE(fs::is_regular_file(root / leaf)) << leaf;
    std::vector<Include> includes;
    IncludesOf(root, leaf, includes);
    for (const Include& include : includes) EXPECT_EQ(kLeafHeaders.count(include.target), 1u) << leaf << " includes " << include.target;
  }
}

}  // namespace
