#include "settings/settings.h"

namespace auralith {

namespace {
std::string Path(const char* name) { return std::string(kSettingsKey) + "\\" + name; }
}  // namespace

Settings::Settings(RegistryStore& store)
    : store_(store),
      caption("Auralith"),
      location(store, Path("location")),
      winamp(store, Path("winamp")),
      urlProtocol(store, "Auralith\\Url Protocol", "", true, Hive::ClassesRoot),
      urlCommand(store, "Auralith\\shell\\open\\command\\", "", false, Hive::ClassesRoot),
      _2_backcolor(store, Path("2_backcolor")),
      _2_textcolor(store, Path("2_textcolor")),
      _2_textsize(store, Path("2_textsize")),
      _2_textface(store, Path("2_textface")),
      HideIcons(store, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\HideIcons"),
      _2_backtype(store, Path("2_backtype")),
      _2_backimage(store, Path("2_backimage")),
      _2_backposition(store, Path("2_backposition")),
      _2_leavecover(store, Path("2_leavecover")),
      _3_lefttrigger(store, Path("3_lefttrigger")),
      _3_toptrigger(store, Path("3_toptrigger")),
      _3_righttrigger(store, Path("3_righttrigger")),
      _3_lefttriggernum(store, Path("3_lefttriggernum")),
      _3_toptriggernum(store, Path("3_toptriggernum")),
      _3_righttriggernum(store, Path("3_righttriggernum")),
      _3_offset(store, Path("3_offset")),
      _3_position(store, Path("3_position")),
      _3_launchsingle(store, Path("3_launchsingle")),
      _4_music(store, Path("4_music")),
      _4_extensions(store, Path("4_extensions")),
      _4_organization(store, Path("4_organization")),
      _4_organizationnum(store, Path("4_organizationnum")),
      _4_format(store, Path("4_format")),
      _4_id3(store, Path("4_id3")),
      _4_prefix(store, Path("4_prefix")),
      _4_the(store, Path("4_the")),
      _4_headers(store, Path("4_headers")),
      _4_outformat(store, Path("4_outformat")),
      _4_ignorefileinfo(store, Path("4_ignorefileinfo")) {
  // Load defaults: an empty text (stored as "" or missing) gets its default,
  // which is written at once; paired numbers are set along with the text.
  auto fill = [](RegistryString& field, const char* value) {
    if (field.Get().empty()) {
      field.Set(value);
      return true;
    }
    return false;
  };
  fill(_2_backcolor, "Black");
  fill(_2_textcolor, "Green");
  fill(_2_textsize, "18");
  fill(_2_textface, "Georgia");
  if (fill(_3_lefttrigger, "Show Artists")) _3_lefttriggernum.Set(1);
  if (fill(_3_toptrigger, "Show Albums")) _3_toptriggernum.Set(2);
  if (fill(_3_righttrigger, "Hide All")) _3_righttriggernum.Set(3);
  fill(_3_offset, "0");
  fill(_4_extensions, "mp3,ogg,wav");
  if (fill(_4_organization, "None")) _4_organizationnum.Set(0);
  fill(_4_outformat, "%3. %4");
}

void Settings::SaveAll() {
  location.Write();
  winamp.Write();
  _2_backcolor.Write();
  _2_textcolor.Write();
  _2_textsize.Write();
  _2_textface.Write();
  HideIcons.Write();
  _2_backtype.Write();
  _2_backimage.Write();
  _2_backposition.Write();
  _2_leavecover.Write();
  _3_lefttrigger.Write();
  _3_toptrigger.Write();
  _3_righttrigger.Write();
  _3_lefttriggernum.Write();
  _3_toptriggernum.Write();
  _3_righttriggernum.Write();
  _3_offset.Write();
  _3_position.Write();
  _3_launchsingle.Write();
  _4_music.Write();
  _4_extensions.Write();
  _4_organization.Write();
  _4_organizationnum.Write();
  _4_format.Write();
  _4_id3.Write();
  _4_prefix.Write();
  _4_the.Write();
  _4_outformat.Write();
  _4_ignorefileinfo.Write();
  _4_headers.Write();
}

void Settings::ResetToDefaults() {
  _2_backcolor.Set("Black");
  _2_textcolor.Set("Green");
  _2_textsize.Set("18");
  _2_textface.Set("Georgia");
  HideIcons.Set(1);
  _2_backtype.Set(0);
  _2_backimage.Set("");
  _2_backposition.Set(0);
  _2_leavecover.Set(0);
  _3_lefttrigger.Set("Show Artists");
  _3_lefttriggernum.Set(1);
  _3_toptrigger.Set("Show Albums");
  _3_toptriggernum.Set(2);
  _3_righttrigger.Set("Hide All");
  _3_righttriggernum.Set(3);
  _3_offset.Set("0");
  _3_position.Set(0);
  _3_launchsingle.Set(1);
  _4_extensions.Set("mp3,ogg,wav");
  _4_organization.Set("None");
  _4_organizationnum.Set(0);
  _4_format.Set("");
  _4_id3.Set(1);
  _4_prefix.Set(1);
  _4_the.Set(1);
  _4_headers.Set(1);
  _4_outformat.Set("%3. %4");
  _4_ignorefileinfo.Set(0);
  SaveAll();
}

void Settings::RemoveAll() {
  // Every current-user binding of the program shares one key, so the first
  // deletion removes it and the rest find nothing; HideIcons belongs to the
  // shell and stays.
  RegistryBinding<std::string>* strings[] = {
      &location, &winamp, &_2_backcolor, &_2_textcolor, &_2_textsize, &_2_textface, &_2_backimage,
      &_3_lefttrigger, &_3_toptrigger, &_3_righttrigger, &_3_offset, &_4_music, &_4_extensions,
      &_4_organization, &_4_format, &_4_outformat};
  RegistryBinding<std::uint32_t>* numbers[] = {
      &_2_backtype, &_2_backposition, &_2_leavecover, &_3_lefttriggernum, &_3_toptriggernum,
      &_3_righttriggernum, &_3_position, &_3_launchsingle, &_4_organizationnum, &_4_id3,
      &_4_prefix, &_4_the, &_4_headers, &_4_ignorefileinfo};
  for (auto* field : strings) store_.DeleteTree(field->hive(), field->keyPath());
  for (auto* field : numbers) store_.DeleteTree(field->hive(), field->keyPath());
}

}  // namespace auralith
