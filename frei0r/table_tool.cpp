// threeway-frei0r-table: prints what a user of the frei0r filter needs from the parameter list.
//
//   threeway-frei0r-table                      the parameter table (Markdown) of frei0r/README.md
//   threeway-frei0r-table --ffmpeg NAME=V ...  the positional parameter list for ffmpeg's frei0r
//                                               filter: V (0..1, y/n or r/g/b as the table says)
//                                               at each named position, the default everywhere
//                                               before the last named one
//   threeway-frei0r-table --editors DIR         the Kdenlive and Shotcut descriptions
//                                               (frei0r/editor_effects.h) into DIR/kdenlive/...
//                                               and DIR/shotcut/...; the build runs it into
//                                               build/editors
#include "frei0r/frei0r_api.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frei0r/editor_effects.h"
#include "frei0r/param_map.h"

namespace {

// The default of frei0r parameter `i` written as ffmpeg reads it.
std::string DefaultText(const threeway::frei0r::PluginParam& param) {
  const threeway::ParamSpec& row = threeway::ParamSpecAt(param.catalogueIndex);
  switch (param.kind) {
    case threeway::frei0r::Kind::CheckBox:
    case threeway::frei0r::Kind::Button: return "n";
    case threeway::frei0r::Kind::Popup:
    case threeway::frei0r::Kind::Slider:
    case threeway::frei0r::Kind::Angle: return threeway::frei0r::UnitText(threeway::frei0r::DefaultUnit(param));
    case threeway::frei0r::Kind::Color:
      return threeway::frei0r::UnitText(threeway::frei0r::ChannelToUnit(row.color.red)) + "/" + threeway::frei0r::UnitText(threeway::frei0r::ChannelToUnit(row.color.green)) +
             "/" + threeway::frei0r::UnitText(threeway::frei0r::ChannelToUnit(row.color.blue));
  }
  return {};
}

// Writes every editor description under `dir`; 0, or 1 with a message.
int WriteEditorFiles(const std::filesystem::path& dir) {
  for (const threeway::frei0r::EditorFile& file : threeway::frei0r::EditorFiles()) {
    const std::filesystem::path path = dir / file.path;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << file.text;
    out.close();
    if (error || !out) {
      std::fprintf(stderr, "threeway-frei0r-table: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) {
    std::fputs(threeway::frei0r::MarkdownTable().c_str(), stdout);
    return 0;
  }
  if (argc == 3 && std::string(argv[1]) == "--editors") return WriteEditorFiles(argv[2]);
  if (std::string(argv[1]) != "--ffmpeg") {
    std::fprintf(stderr, "usage: %s [--ffmpeg NAME=VALUE ... | --editors DIR]\n", argv[0]);
    return 2;
  }
  const auto params = threeway::frei0r::PluginParams();
  std::vector<std::string> values(params.size());
  int last = -1;
  for (int a = 2; a < argc; ++a) {
    const std::string arg = argv[a];
    const std::size_t eq = arg.find('=');
    const int index = eq == std::string::npos ? -1 : threeway::frei0r::FindPluginParam(arg.substr(0, eq));
    if (index < 0) {
      std::fprintf(stderr, "threeway-frei0r-table: '%s' is not NAME=VALUE with a known parameter name\n",
                   arg.c_str());
      return 2;
    }
    values[static_cast<std::size_t>(index)] = arg.substr(eq + 1);
    last = std::max(last, index);
  }
  std::string out;
  for (int i = 0; i <= last; ++i) {
    if (i) out += '|';
    const std::string& v = values[static_cast<std::size_t>(i)];
    out += v.empty() ? DefaultText(params[static_cast<std::size_t>(i)]) : v;
  }
  std::puts(out.c_str());
  return 0;
}
