// A Language DLL double for native tests: texts by number, recorded message boxes and an
// in-memory registry. Window texts are not kept.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "lang/lang_api.h"
#include "lang/text16.h"
#include "slots/slot_file.h"

namespace s470 {

class FakeLang : public LangApi {
 public:
  struct Box {
    Window owner;
    std::u16string text;
    std::u16string caption;  // empty for none
    bool hasCaption;
    unsigned style;
  };
  struct RegValue {
    uint32_t type;
    std::vector<uint8_t> data;
  };

  FakeLang() { SetLang(this); }
  ~FakeLang() override {
    if (Lang() == this) SetLang(nullptr);
  }

  std::map<int, std::u16string> texts;        // what GetStr gives; missing numbers give null
  std::vector<Box> boxes;                     // every message box, in order
  int language = -1;
  // Registry: key path -> ordered values (name, value). Key present = key exists.
  std::map<std::u16string, std::vector<std::pair<std::u16string, RegValue>>> registry;
  bool refuseCreateKey = false;

  int LoadLanguage(int lang, int /*mode*/) override {
    language = lang;
    return 0;
  }
  const char16_t* GetStr(int number) override {
    auto it = texts.find(number);
    if (it == texts.end()) return nullptr;
    scratch_ = it->second;
    return scratch_.c_str();
  }
  void SetText(Window, const char16_t*) override {}
  int GetTextOf(Window, char16_t*, int) override { return 0; }  // no text kept
  intptr_t OpenDialog(Window, int, void*) override { return -1; }
  Window CreateModeless(Window, int, void*) override { return nullptr; }
  void ComboBoxAdd(Window, const char16_t*) override {}
  int ShowMessageBox(Window owner, const char16_t* text, const char16_t* caption,
                     unsigned style) override {
    boxes.push_back({owner, text != nullptr ? text : u"", caption != nullptr ? caption : u"",
                     caption != nullptr, style});
    return 1;
  }
  FileHandle OpenFile(const char16_t* path) override { return SlotFileOpen(path); }

  long OpenKey(uintptr_t, const char16_t* subkey, uint32_t, uint32_t, RegKey* key) override {
    auto it = registry.find(subkey);
    if (it == registry.end()) return 2;  // ERROR_FILE_NOT_FOUND
    *key = &it->second;
    return 0;
  }
  long CreateKey(uintptr_t, const char16_t* subkey, const char16_t*, uint32_t, RegKey* key,
                 uint32_t*) override {
    if (refuseCreateKey) return 5;  // ERROR_ACCESS_DENIED
    auto& values = registry[subkey];
    *key = &values;
    return 0;
  }
  long EnumValue(RegKey key, uint32_t index, char16_t* name, uint32_t* nameLength, uint32_t* type,
                 uint8_t* data, uint32_t* dataLength) override {
    auto& values = *static_cast<std::vector<std::pair<std::u16string, RegValue>>*>(key);
    if (index >= values.size()) return 259;  // ERROR_NO_MORE_ITEMS
    const auto& [valueName, value] = values[index];
    if (valueName.size() + 1 > *nameLength || value.data.size() > *dataLength) return 234;  // MORE_DATA
    std::memcpy(name, valueName.c_str(), (valueName.size() + 1) * sizeof(char16_t));
    *nameLength = static_cast<uint32_t>(valueName.size());
    *type = value.type;
    if (!value.data.empty()) std::memcpy(data, value.data.data(), value.data.size());
    *dataLength = static_cast<uint32_t>(value.data.size());
    return 0;
  }
  long SetValue(RegKey key, const char16_t* name, uint32_t type, const uint8_t* data,
                uint32_t dataLength) override {
    auto& values = *static_cast<std::vector<std::pair<std::u16string, RegValue>>*>(key);
    RegValue v{type, std::vector<uint8_t>(data, data + dataLength)};
    for (auto& [n, old] : values)
      if (n == name) {
        old = v;
        return 0;
      }
    values.emplace_back(name, v);
    return 0;
  }
  void CloseKey(RegKey) override { ++closedKeys; }
  int closedKeys = 0;

 private:
  std::u16string scratch_;
};

}  // namespace s470
