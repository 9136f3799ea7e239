#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/memory_registry_store.h"

namespace auralith {
namespace {

constexpr const char* kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

// "sz:text", "dword:12" or "type 3:<n> bytes".
std::string Describe(const RegValue& value) {
  if (value.type == kRegSz && !value.data.empty() && value.data.back() == '\0' &&
      value.data.find('\0') == value.data.size() - 1)
    return "sz:" + value.data.substr(0, value.data.size() - 1);
  if (value.type == kRegDword && value.data.size() == 4) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(value.data[static_cast<std::size_t>(i)]);
    return "dword:" + std::to_string(n);
  }
  return "type " + std::to_string(value.type) + ":" + std::to_string(value.data.size()) + " bytes";
}

// Every change that reaches the registry, in order: "name=sz:Black", and
// "delete:HKCU\key" for tree deletions.
class RecordingStore : public RegistryStore {
 public:
  bool Query(Hive hive, const std::string& key, const std::string& name, RegValue* value) override {
    return inner.Query(hive, key, name, value);
  }
  bool Set(Hive hive, const std::string& key, const std::string& name, const RegValue& value) override {
    std::string where = hive == Hive::ClassesRoot ? "HKCR:" : key == kAdvanced ? "Advanced:" : "";
    if (hive == Hive::CurrentUser && key != kAdvanced && key != kSettingsKey) where = "elsewhere:";
    log.push_back(where + name + "=" + Describe(value));
    return inner.Set(hive, key, name, value);
  }
  bool DeleteTree(Hive hive, const std::string& key) override {
    log.push_back(std::string("delete:") + (hive == Hive::CurrentUser ? "HKCU\\" : "HKCR\\") + key);
    return inner.DeleteTree(hive, key);
  }

  void PutText(const std::string& name, const std::string& text) {
    inner.Set(Hive::CurrentUser, kSettingsKey, name, RegValue{kRegSz, text + std::string(1, '\0')});
  }
  void PutNumber(const std::string& name, std::uint32_t n) {
    inner.Set(Hive::CurrentUser, kSettingsKey, name, RegValue{kRegDword, std::string{static_cast<char>(n), 0, 0, 0}});
  }
  std::string Stored(const std::string& name, Hive hive = Hive::CurrentUser, const std::string& key = kSettingsKey) {
    RegValue value;
    return inner.Query(hive, key, name, &value) ? Describe(value) : "missing";
  }

  MemoryRegistryStore inner;
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

// "a|b|c" as {"a", "b", "c"}: long logs read more easily as one text.
Log Split(const std::string& text) {
  Log items;
  std::size_t start = 0;
  for (std::size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1)
    items.push_back(text.substr(start, bar - start));
  items.push_back(text.substr(start));
  return items;
}

// What construction writes on an empty registry: the load defaults, in order.
// 4_organizationnum is set to 0, which is what it caches already, so it is not
// written.
const Log kLoadDefaultsOnEmpty = Split(
    "2_backcolor=sz:Black|2_textcolor=sz:Green|2_textsize=sz:18|2_textface=sz:Georgia|"
    "3_lefttrigger=sz:Show Artists|3_lefttriggernum=dword:1|3_toptrigger=sz:Show Albums|3_toptriggernum=dword:2|"
    "3_righttrigger=sz:Hide All|3_righttriggernum=dword:3|3_offset=sz:0|4_extensions=sz:mp3,ogg,wav|"
    "4_organization=sz:None|4_outformat=sz:%3. %4");

using Texts = std::vector<std::pair<std::string, std::string>>;

// Every text with a load default, stored; the optional texts stored empty.
const Texts kAllStored = {{"2_backcolor", "Red"},
                          {"2_textcolor", "Blue"},
                          {"2_textsize", "6"},
                          {"2_textface", "Impact"},
                          {"3_lefttrigger", "Nothing"},
                          {"3_toptrigger", "Hide All"},
                          {"3_righttrigger", "Show Albums"},
                          {"3_offset", "-1200"},
                          {"4_extensions", "mp3"},
                          {"4_organization", "ARTIST\\File,etc..."},
                          {"4_outformat", "%4"},
                          {"location", ""},
                          {"winamp", ""},
                          {"2_backimage", ""},
                          {"4_music", ""},
                          {"4_format", ""}};

// kAllStored with some texts stored again; the later value wins.
Texts AllStoredBut(Texts changed) {
  Texts texts = kAllStored;
  texts.insert(texts.end(), changed.begin(), changed.end());
  return texts;
}

struct LoadCase {
  const char* name;
  Texts texts;
  std::vector<std::pair<std::string, std::uint32_t>> numbers;
  Log expectedWrites;
};

class SettingsLoadTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(SettingsLoadTest, WritesTheLoadDefaultsOfEmptyTextsOnly) {
  RecordingStore store;
  for (const auto& [name, text] : GetParam().texts) store.PutText(name, text);
  for (const auto& [name, n] : GetParam().numbers) store.PutNumber(name, n);
  Settings settings(store);
  EXPECT_EQ(settings.caption, "Auralith");
  EXPECT_EQ(store.log, GetParam().expectedWrites);
}

INSTANTIATE_TEST_SUITE_P(
    Registries, SettingsLoadTest,
    ::testing::Values(
        LoadCase{"empty_registry", {}, {}, kLoadDefaultsOnEmpty},
        LoadCase{"empty_texts_count_as_missing",
                 {{"2_backcolor", ""}, {"3_toptrigger", ""}, {"4_outformat", ""}},
                 {},
                 kLoadDefaultsOnEmpty},
        LoadCase{"stored_texts_are_kept_optional_ones_stay_empty_numbers_are_not_written", kAllStored, {}, {}},
        LoadCase{"a_paired_number_follows_its_text",
                 AllStoredBut({{"3_lefttrigger", ""}, {"3_righttrigger", ""}, {"4_organization", ""}}),
                 // A number that already holds its pair's value is not written again.
                 {{"3_lefttriggernum", 0}, {"3_toptriggernum", 0}, {"3_righttriggernum", 3}, {"4_organizationnum", 3}},
                 {"3_lefttrigger=sz:Show Artists", "3_lefttriggernum=dword:1", "3_righttrigger=sz:Hide All",
                  "4_organization=sz:None", "4_organizationnum=dword:0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsTest, ReadsValuesWhateverTheCaseOfKeyAndValueNames) {
  RecordingStore store;
  store.inner.Set(Hive::CurrentUser, "SOFTWARE\\corvale\\AURALITH", "2_BackColor",
                  RegValue{kRegSz, std::string("Blue\0", 5)});
  store.inner.Set(Hive::ClassesRoot, "auralith\\SHELL\\Open\\Command", "", RegValue{kRegSz, std::string("cmd\0", 4)});
  Settings settings(store);
  EXPECT_EQ(settings._2_backcolor.Get(), "Blue");
  EXPECT_EQ(settings.urlCommand.Get(), "cmd");
  EXPECT_EQ(settings.urlCommand.keyPath(), "Auralith\\shell\\open\\command");
  EXPECT_EQ(settings.urlCommand.valueName(), "");
  EXPECT_TRUE(settings.urlProtocol.noCache());
}

const Log kSaveAllOrder = Split(
    "location|winamp|2_backcolor|2_textcolor|2_textsize|2_textface|Advanced:HideIcons|2_backtype|2_backimage|"
    "2_backposition|2_leavecover|3_lefttrigger|3_toptrigger|3_righttrigger|3_lefttriggernum|3_toptriggernum|"
    "3_righttriggernum|3_offset|3_position|3_launchsingle|4_music|4_extensions|4_organization|4_organizationnum|"
    "4_format|4_id3|4_prefix|4_the|4_outformat|4_ignorefileinfo|4_headers");

Log Names(const Log& log) {
  Log names;
  for (const auto& entry : log) names.push_back(entry.substr(0, entry.find('=')));
  return names;
}

TEST(SettingsTest, SaveAllWritesEveryValueInOrderAsCached) {
  RecordingStore store;
  Settings settings(store);
  settings._2_backtype.Set(2);
  settings._4_outformat.Set("%1 - %4");
  store.log.clear();
  settings.SaveAll();
  EXPECT_EQ(Names(store.log), kSaveAllOrder);
  // Never found and never set: written as the empty text or 0.
  EXPECT_EQ(store.Stored("4_music"), "sz:");
  EXPECT_EQ(store.Stored("location"), "sz:");
  EXPECT_EQ(store.Stored("4_id3"), "dword:0");
  EXPECT_EQ(store.Stored("HideIcons", Hive::CurrentUser, kAdvanced), "dword:0");
  EXPECT_EQ(store.Stored("2_backtype"), "dword:2");
  EXPECT_EQ(store.Stored("4_outformat"), "sz:%1 - %4");
  EXPECT_EQ(store.Stored("2_backcolor"), "sz:Black");
  // The URL-protocol values are not part of the settings save.
  EXPECT_EQ(store.Stored("Url Protocol", Hive::ClassesRoot, "Auralith"), "missing");
}

TEST(SettingsTest, ResetToDefaultsSetsFactoryDefaultsInOrderThenSavesAll) {
  RecordingStore store;
  // Every option off its factory default, so that every Set writes.
  for (const char* name :
       {"2_backcolor", "2_textcolor", "2_textsize", "2_textface", "2_backimage", "3_lefttrigger", "3_toptrigger",
        "3_righttrigger", "3_offset", "4_extensions", "4_organization", "4_format", "4_outformat"})
    store.PutText(name, "x");
  for (const char* name : {"2_backtype", "2_backposition", "2_leavecover", "3_lefttriggernum", "3_toptriggernum",
                           "3_righttriggernum", "3_position", "3_launchsingle", "4_organizationnum", "4_id3",
                           "4_prefix", "4_the", "4_headers", "4_ignorefileinfo"})
    store.PutNumber(name, 7);
  store.PutText("location", "/old/");
  store.PutText("winamp", "/winamp/");
  store.PutText("4_music", "/music/");
  store.inner.Set(Hive::ClassesRoot, "Auralith\\shell\\open\\command", "", RegValue{kRegSz, std::string("c\0", 2)});
  Settings settings(store);
  ASSERT_TRUE(store.log.empty());

  settings.ResetToDefaults();
  const Log expectedSets = Split(
      "2_backcolor=sz:Black|2_textcolor=sz:Green|2_textsize=sz:18|2_textface=sz:Georgia|Advanced:HideIcons=dword:1|"
      "2_backtype=dword:0|2_backimage=sz:|2_backposition=dword:0|2_leavecover=dword:0|"
      "3_lefttrigger=sz:Show Artists|3_lefttriggernum=dword:1|3_toptrigger=sz:Show Albums|3_toptriggernum=dword:2|"
      "3_righttrigger=sz:Hide All|3_righttriggernum=dword:3|3_offset=sz:0|3_position=dword:0|"
      "3_launchsingle=dword:1|4_extensions=sz:mp3,ogg,wav|4_organization=sz:None|4_organizationnum=dword:0|"
      "4_format=sz:|4_id3=dword:1|4_prefix=dword:1|4_the=dword:1|4_headers=dword:1|4_outformat=sz:%3. %4|"
      "4_ignorefileinfo=dword:0");
  ASSERT_EQ(store.log.size(), expectedSets.size() + kSaveAllOrder.size());
  EXPECT_EQ(Log(store.log.begin(), store.log.begin() + static_cast<long>(expectedSets.size())), expectedSets);
  EXPECT_EQ(Names(Log(store.log.begin() + static_cast<long>(expectedSets.size()), store.log.end())), kSaveAllOrder);
  // Left alone.
  EXPECT_EQ(store.Stored("location"), "sz:/old/");
  EXPECT_EQ(store.Stored("winamp"), "sz:/winamp/");
  EXPECT_EQ(store.Stored("4_music"), "sz:/music/");
  EXPECT_EQ(store.Stored("", Hive::ClassesRoot, "Auralith\\shell\\open\\command"), "sz:c");

  // On factory values every Set is a no-op: only the save writes.
  store.log.clear();
  settings.ResetToDefaults();
  EXPECT_EQ(Names(store.log), kSaveAllOrder);
}

TEST(SettingsTest, RemoveAllDeletesTheProgramKeyOnly) {
  RecordingStore store;
  store.inner.Set(Hive::CurrentUser, kSettingsKey + std::string("\\Sub"), "x", RegValue{kRegSz, std::string("1\0", 2)});
  store.inner.Set(Hive::CurrentUser, "Software\\Corvale\\Other", "y", RegValue{kRegSz, std::string("2\0", 2)});
  store.PutText("2_backcolor", "Red");
  Settings settings(store);
  settings.location.Set("/here/");
  settings.ResetToDefaults();
  settings.urlProtocol.Set("");
  settings.urlCommand.Set("\"/here/AuralithURL.exe\" \"%1\"");
  store.log.clear();

  settings.RemoveAll();
  ASSERT_FALSE(store.log.empty());
  for (const auto& entry : store.log) EXPECT_EQ(entry, "delete:HKCU\\Software\\Corvale\\Auralith");
  EXPECT_EQ(store.Stored("location"), "missing");
  EXPECT_EQ(store.Stored("x", Hive::CurrentUser, kSettingsKey + std::string("\\Sub")), "missing");
  EXPECT_EQ(store.Stored("y", Hive::CurrentUser, "Software\\Corvale\\Other"), "sz:2");
  EXPECT_EQ(store.Stored("HideIcons", Hive::CurrentUser, kAdvanced), "dword:1");
  EXPECT_EQ(store.Stored("Url Protocol", Hive::ClassesRoot, "Auralith"), "sz:");
  EXPECT_EQ(store.Stored("", Hive::ClassesRoot, "Auralith\\shell\\open\\command"),
            "sz:\"/here/AuralithURL.exe\" \"%1\"");

  // Memory still answers; the registry gives the defaults.
  EXPECT_EQ(settings.location.Get(), "/here/");
  EXPECT_EQ(settings._2_backcolor.Get(), "Black");
  EXPECT_EQ(settings._4_id3.Get(), 1u);
  EXPECT_EQ(settings.location.Read(), "");
  EXPECT_EQ(settings._4_id3.Read(), 0u);
}

}  // namespace
}  // namespace auralith
