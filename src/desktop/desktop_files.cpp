#include "desktop/desktop_files.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/strings.h"
#include "base/text_writer.h"

namespace auralith {

const char* const kPlaceholderLibraryData =
    "// Auralith Data File\n"
    "\n"
    "base = \"\";\n"
    "\n"
    "display  = new Array();\n"
    "names    = new Array();\n"
    "\n";

namespace {

struct ColourPair {
  std::string_view name;
  std::string_view first;
  std::string_view second;
};

// The letter case of each value is what the page has always been given.
constexpr ColourPair kBackgroundColours[] = {
    {"Transparent", "transparent", "transparent"},
    {"Black", "#000000", "#111111"},
    {"White", "#ffffff", "#eeeeee"},
    {"Light Grey", "#cccccc", "#bbbbbb"},
    {"Dark Grey", "#444444", "#555555"},
    {"Red", "#990000", "#993333"},
    {"Orange", "#CC6600", "#FF9933"},
    {"Yellow", "#FFFF99", "#FFFFCC"},
    {"Green", "#009900", "#339933"},
    {"Blue", "#000066", "#000099"},
    {"Purple", "#660066", "#663366"},
};

constexpr ColourPair kTextColours[] = {
    {"Black", "#080808", "#111111"},
    {"White", "#f8f8f8", "#f0f0f0"},
    {"Light Grey", "#bbbbbb", "#cccccc"},
    {"Dark Grey", "#555555", "#444444"},
    {"Red", "#993333", "#990000"},
    {"Orange", "#FF9933", "#CC6600"},
    {"Yellow", "#FFFF33", "#FFFF66"},
    {"Green", "#009000", "#00B000"},
    {"Blue", "#000099", "#000066"},
    {"Purple", "#660066", "#990099"},
};

constexpr std::size_t kKeyColumn = 22;

// A colour the combo box does not list was typed by the user and goes to the
// page as it stands, in both entries.
ColourPair LookUpColour(std::span<const ColourPair> table, std::string_view name) {
  for (const ColourPair& pair : table)
    if (pair.name == name) return pair;
  return {name, name, name};
}

std::string Statement(std::string_view key, std::string_view value) {
  std::string line(key);
  if (line.size() < kKeyColumn) line.append(kKeyColumn - line.size(), ' ');
  line.append("= ");
  line.append(value);
  line.push_back(';');
  return line;
}

// Nothing is escaped: the values come from our own pages, and the image path
// has had its backslashes turned round already.
std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Stored numbers are DWORDs; "no selection" arrives as 0xFFFFFFFF and the page
// must see -1.
std::string Signed(std::uint32_t value) { return ToDecimal(static_cast<std::int32_t>(value)); }

// The page uses the path inside a string literal, where a backslash would
// start an escape. In UTF-8 every '\\' byte is a whole character.
std::string WithForwardSlashes(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

void ReportFailure(Prompter& prompter, const char* text) {
  prompter.Message(text, "Error", MessageButtons::Ok, MessageIcon::Error);
}

// `location` is read from the registry for every file, so a value changed
// behind the cache (or removed by the uninstaller) is what counts.
std::string FileInLocation(Settings& settings, const char* name) {
  return settings.location.Read() + name;
}

void WriteConfiguration(Settings& settings, Prompter& prompter) {
  // The pairs may view these texts (a typed colour), so they must outlive them.
  const std::string backcolor = settings._2_backcolor.Get();
  const std::string textcolor = settings._2_textcolor.Get();
  const ColourPair background = LookUpColour(kBackgroundColours, backcolor);
  const ColourPair text = LookUpColour(kTextColours, textcolor);
  const std::string image = WithForwardSlashes(settings._2_backimage.Get());

  TextWriter out;
  if (out.Open(FileInLocation(settings, "Auralith.config"))) {
    out.Line("// Auralith Configuration File");
    out.Line("");
    out.Line(Statement("text_face", Quoted(settings._2_textface.Get())));
    out.Line(Statement("text_size", Quoted(settings._2_textsize.Get())));
    out.Line("");
    out.Line(Statement("color_background", Quoted(background.first)));
    out.Line(Statement("color_fadedbackground", Quoted(background.second)));
    out.Line("");
    out.Line(Statement("color_text", Quoted(text.first)));
    out.Line(Statement("color_texthover", Quoted(text.second)));
    out.Line("");
    out.Line(Statement("back_type", Signed(settings._2_backtype.Get())));
    out.Line(Statement("back_image", Quoted(image)));
    out.Line(Statement("back_position", Signed(settings._2_backposition.Get())));
    out.Line("");
  }
  if (!out.Close()) ReportFailure(prompter, "Error writing configuration file");
}

void WriteBehaviour(Settings& settings, Prompter& prompter) {
  TextWriter out;
  if (out.Open(FileInLocation(settings, "Auralith.behaviour"))) {
    out.Line("// Auralith Behaviour File");
    out.Line("");
    // 0, 1, 2 (left, middle, right) become -1, 0, 1; the unsigned wrap of 0
    // comes back as -1 through Signed().
    out.Line(Statement("list_side", Signed(settings._3_position.Get() - 1u)));
    out.Line(Statement("list_offset", settings._3_offset.Get()));
    out.Line("");
    out.Line(Statement("left_mapping", Signed(settings._3_lefttriggernum.Get())));
    out.Line(Statement("right_mapping", Signed(settings._3_righttriggernum.Get())));
    out.Line(Statement("top_mapping", Signed(settings._3_toptriggernum.Get())));
    out.Line("");
    out.Line(Statement("launch_single", Signed(settings._3_launchsingle.Get())));
  }
  if (!out.Close()) ReportFailure(prompter, "Error writing behaviour file");
}

// The data file belongs to "Generate playlists"; the placeholder only lets the
// page load before the first run, so an existing file is never touched.
void WritePlaceholderData(Settings& settings, FileSystem& fs, Prompter& prompter) {
  const std::string path = FileInLocation(settings, "Auralith.data");
  if (fs.Exists(path)) return;
  TextWriter out;
  if (out.Open(path)) out.Write(kPlaceholderLibraryData);
  if (!out.Close()) ReportFailure(prompter, "Error writing temporary data file");
}

}  // namespace

void WriteDesktopFiles(Settings& settings, FileSystem& fs, Prompter& prompter) {
  // Without a program folder (the uninstaller has just removed the settings)
  // there is nowhere these files belong: bare names would land in whatever
  // folder the program was started from.
  if (settings.location.Read().empty()) return;
  WriteConfiguration(settings, prompter);
  WriteBehaviour(settings, prompter);
  WritePlaceholderData(settings, fs, prompter);
}

}  // namespace auralith
