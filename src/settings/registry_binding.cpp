#include "settings/registry_binding.h"

#include <cstring>

namespace auralith {

void SplitRegistryPath(const std::string& fullPath, std::string* keyPath, std::string* valueName) {
  std::string path = fullPath;
  const auto first = path.find_first_not_of('\\');
  path.erase(0, first == std::string::npos ? path.size() : first);
  const auto last = path.rfind('\\');
  if (last == std::string::npos) {
    keyPath->clear();
    *valueName = path;
    return;
  }
  std::string key = path.substr(0, last);
  while (!key.empty() && key.back() == '\\') key.pop_back();
  std::string name = path.substr(last + 1);
  // The text after the last backslash holds none, so only the front could
  // still carry any; both ends are trimmed all the same.
  const auto begin = name.find_first_not_of('\\');
  name = begin == std::string::npos ? std::string() : name.substr(begin, name.find_last_not_of('\\') - begin + 1);
  *keyPath = key;
  *valueName = name;
}

namespace {

bool Decode(const RegValue& stored, std::string* value) {
  // The data are taken as a NUL-terminated text; data without a terminator
  // (written by some other tool) are taken whole, never beyond their end.
  const auto nul = stored.data.find('\0');
  *value = nul == std::string::npos ? stored.data : stored.data.substr(0, nul);
  return true;
}

bool Decode(const RegValue& stored, std::uint32_t* value) {
  // One read into a 4-byte buffer: larger data do not fit; shorter data fill
  // the front of the buffer, as the registry call would.
  if (stored.data.size() > sizeof(*value)) return false;
  std::memcpy(value, stored.data.data(), stored.data.size());
  return true;
}

RegValue Encode(const std::string& value) {
  RegValue stored;
  stored.type = kRegSz;
  stored.data = value;
  stored.data.push_back('\0');
  return stored;
}

RegValue Encode(std::uint32_t value) {
  RegValue stored;
  stored.type = kRegDword;
  stored.data.resize(sizeof(value));
  std::memcpy(stored.data.data(), &value, sizeof(value));
  return stored;
}

}  // namespace

template <typename T>
RegistryBinding<T>::RegistryBinding(RegistryStore& store, const std::string& fullPath, T defaultValue,
                                    bool noCache, Hive hive)
    : store_(&store), hive_(hive), defaultValue_(std::move(defaultValue)), noCache_(noCache) {
  SplitRegistryPath(fullPath, &keyPath_, &valueName_);
  Read();
}

template <typename T>
T RegistryBinding<T>::Get() {
  if (!valid_ || noCache_) return Read();
  return value_;
}

template <typename T>
void RegistryBinding<T>::Set(const T& newValue) {
  if (newValue != value_ || noCache_) {
    value_ = newValue;
    Write();
  }
}

template <typename T>
T RegistryBinding<T>::Read() {
  RegValue stored;
  if (!store_->Query(hive_, keyPath_, valueName_, &stored)) return defaultValue_;
  T decoded = value_;
  if (!Decode(stored, &decoded)) return defaultValue_;
  value_ = decoded;
  valid_ = true;
  return value_;
}

template <typename T>
void RegistryBinding<T>::Write() {
  if (store_->Set(hive_, keyPath_, valueName_, Encode(value_))) valid_ = true;
}

template class RegistryBinding<std::string>;
template class RegistryBinding<std::uint32_t>;

}  // namespace auralith
