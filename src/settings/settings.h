#pragma once

#include <string>

#include "settings/registry_binding.h"

namespace auralith {

inline constexpr const char* kSettingsKey = "Software\\Corvale\\Auralith";

// Every persisted option, one binding per registry value. The one Settings
// object of a run is created by start-up and handed by reference to everything
// that needs it; nobody copies it.
class Settings {
 public:
  explicit Settings(RegistryStore& store);
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  void SaveAll();
  void ResetToDefaults();
  void RemoveAll();

  RegistryStore& store() { return store_; }

 private:
  RegistryStore& store_;

 public:
  std::string caption;
  RegistryString location;
  RegistryString winamp;
  RegistryString urlProtocol;
  RegistryString urlCommand;
  RegistryString _2_backcolor;
  RegistryString _2_textcolor;
  RegistryString _2_textsize;
  RegistryString _2_textface;
  RegistryDword HideIcons;
  RegistryDword _2_backtype;
  RegistryString _2_backimage;
  RegistryDword _2_backposition;
  RegistryDword _2_leavecover;
  RegistryString _3_lefttrigger;
  RegistryString _3_toptrigger;
  RegistryString _3_righttrigger;
  RegistryDword _3_lefttriggernum;
  RegistryDword _3_toptriggernum;
  RegistryDword _3_righttriggernum;
  RegistryString _3_offset;
  RegistryDword _3_position;
  RegistryDword _3_launchsingle;
  RegistryString _4_music;
  RegistryString _4_extensions;
  RegistryString _4_organization;
  RegistryDword _4_organizationnum;
  RegistryString _4_format;
  RegistryDword _4_id3;
  RegistryDword _4_prefix;
  RegistryDword _4_the;
  RegistryDword _4_headers;
  RegistryString _4_outformat;
  RegistryDword _4_ignorefileinfo;
};

}  // namespace auralith
