#include "settings/settings.h"

#include <gtest/gtest.h>

#include <ranges>
#include <string>
#include <vector>

#include "settings/memory_registry_store.h"

namespace auralith {
namespace {

constexpr const char* kAdvanced = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kCommand = "Auralith\\shell\\open\\command";

using Log = std::vector<std::string>;

// "a|b|c" as {"a", "b", "c"}, "" as {}: long logs read more easily as one text.
Log Split(const std::string& text, char bar = '|') {
  Log items;
  for (const auto& item : std::views::split(text, bar)) items.emplace_back(item.begin(), item.end());
  return items;
}

// "sz:text", "dword:12" (the numbers here fit one byte), or "type 3".
std::string Describe(const RegValue& value) {
  const auto low = static_cast<unsigned char>(value.data[0]);
  if (value.type == kRegDword && value.data == std::string{static_cast<char>(low), 0, 0, 0})
    return "dword:" + std::to_string(low);
  if (value.type == kRegSz && value.data.ends_with('\0')) return "sz:" + value.data.substr(0, value.data.size() - 1);
  return "type " + std::to_string(value.type);
}

// Changes in order: "name=sz:Black" in the program's key, "Advanced:HideIcons=dword:1", "HKCR:...", "delete:HKCU\key".
struct RecordingStore : MemoryRegistryStore {
  bool Set(Hive hive, const std::string& key, const std::string& name, const RegValue& value) override {
    const std::string where = hive == Hive::ClassesRoot ? "HKCR:" : key == kAdvanced ? "Advanced:" : "";
    log.push_back(where + name + "=" + Describe(value));
    return MemoryRegistryStore::Set(hive, key, name, value);
  }
  bool DeleteTree(Hive hive, const std::string& key) override {
    log.push_back(std::string("delete:") + (hive == Hive::CurrentUser ? "HKCU\\" : "HKCR\\") + key);
    return MemoryRegistryStore::DeleteTree(hive, key);
  }
  // Unrecorded "name=text" texts and "name=#n" numbers in the program's key.
  void Put(const std::string& entries) {
    for (const std::string& entry : Split(entries)) {
      const Log pair = Split(entry, '=');
      const bool number = pair[1].starts_with('#');
      const std::string data = number ? std::string{static_cast<char>(std::stoi(pair[1].substr(1))), 0, 0, 0}
                                      : pair[1] + std::string(1, '\0');
      MemoryRegistryStore::Set(Hive::CurrentUser, kSettingsKey, pair[0], RegValue{number ? kRegDword : kRegSz, data});
    }
  }
  std::string Stored(const std::string& name, Hive hive = Hive::CurrentUser, const std::string& key = kSettingsKey) {
    RegValue value;
    return Query(hive, key, name, &value) ? Describe(value) : "missing";
  }
  Log log;
};

// What construction writes on an empty registry, in order; 4_organizationnum is set to its cached 0, so not written.
const std::string kLoadDefaults =
    "2_backcolor=sz:Black|2_textcolor=sz:Green|2_textsize=sz:18|2_textface=sz:Georgia|"
    "3_lefttrigger=sz:Show Artists|3_lefttriggernum=dword:1|3_toptrigger=sz:Show Albums|3_toptriggernum=dword:2|"
    "3_righttrigger=sz:Hide All|3_righttriggernum=dword:3|3_offset=sz:0|4_extensions=sz:mp3,ogg,wav|"
    "4_organization=sz:None|4_outformat=sz:%3. %4";
// Every text with a load default stored; the optional texts stored empty.
const std::string kAllStored =
    "2_backcolor=Red|2_textcolor=Blue|2_textsize=6|2_textface=Impact|3_lefttrigger=Nothing|3_toptrigger=Hide All|"
    "3_righttrigger=Show Albums|3_offset=-1200|4_extensions=mp3|4_organization=ARTIST\\File,etc...|4_outformat=%4|"
    "location=|winamp=|2_backimage=|4_music=|4_format=";

TEST(SettingsTest, LoadingWritesTheDefaultsOfEmptyTextsOnly) {
  struct Case {
    std::string stored, expectedWrites;
  };
  const Case cases[] = {
      {"", kLoadDefaults},
      {"2_backcolor=|3_toptrigger=|4_outformat=", kLoadDefaults},
      {kAllStored, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    RecordingStore store;
    store.Put(c.stored);
    Settings settings(store);
    EXPECT_EQ(store.log, Split(c.expectedWrites));
  }
}

TEST(SettingsTest, ResetToDefaultsStoresTheFactoryDefaultsAndLeavesThePlacesAlone) {
  RecordingStore store;
  store.Put(kAllStored +
            "|2_backimage=x|4_format=x|2_backtype=#7|2_backposition=#7|2_leavecover=#7|3_position=#7|"
            "3_launchsingle=#0|4_organizationnum=#7|4_id3=#0|4_prefix=#0|4_the=#0|4_headers=#0|4_ignorefileinfo=#7|"
            "location=/old/|winamp=/winamp/|4_music=/music/");
  store.MemoryRegistryStore::Set(Hive::ClassesRoot, kCommand, "", RegValue{kRegSz, std::string("c\0", 2)});
  Settings settings(store);
  settings.ResetToDefaults();
  const std::string expected =
      kLoadDefaults +
      "|2_backimage=sz:|4_format=sz:|2_backtype=dword:0|2_backposition=dword:0|2_leavecover=dword:0|"
      "3_position=dword:0|3_launchsingle=dword:1|4_organizationnum=dword:0|4_id3=dword:1|4_prefix=dword:1|"
      "4_the=dword:1|4_headers=dword:1|4_ignorefileinfo=dword:0|location=sz:/old/|winamp=sz:/winamp/|"
      "4_music=sz:/music/";
  for (const std::string& entry : Split(expected)) {
    const std::string name = entry.substr(0, entry.find('='));
    EXPECT_EQ(name + "=" + store.Stored(name), entry);
  }
  EXPECT_EQ(store.Stored("HideIcons", Hive::CurrentUser, kAdvanced) + store.Stored("", Hive::ClassesRoot, kCommand),
            "dword:1sz:c");
}

TEST(SettingsTest, RemoveAllDeletesTheProgramKeyOnly) {
  RecordingStore store;
  store.Put("location=/here/");
  Settings settings(store);
  store.log.clear();
  settings.RemoveAll();
  ASSERT_FALSE(store.log.empty());
  for (const auto& entry : store.log) EXPECT_EQ(entry, "delete:HKCU\\Software\\Corvale\\Auralith");
  // Memory still answers; the registry gives the defaults.
  EXPECT_EQ(settings.location.Get() + settings.location.Read(), "/here/");
}

}  // namespace
}  // namespace auralith
