// inspect and diff: a setup file in plain words, decoded by the setup editor itself. The file's
// image is put into slot 0 from a copy (the file itself is only read), and the editor's setup
// and channel dialogs are opened over controls that keep what the dialogs show.
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "editor/channel_dialog.h"
#include "editor/controls_view.h"
#include "editor/general_dialog.h"
#include "editor/setup_dialog.h"
#include "editor/setup_layout.h"
#include "lang/text16.h"
#include "slots/file_slots.h"
#include "tool.h"
#include "tool_platform.h"

namespace s470::tool {

namespace {

// What the dialogs put into their controls.
class KeptControls final : public ControlsView {
 public:
  void SetTitle(const std::u16string&) override {}
  void SetText(int id, const std::u16string& text) override { texts_[id] = text; }
  std::u16string GetText(int id, int) override { return texts_[id]; }
  void LimitText(int, int) override {}
  void SetCheck(int id, bool checked) override { checks_[id] = checked; }
  bool IsChecked(int id) override { return checks_[id]; }
  void AddItem(int id, const std::u16string& text) override { items_[id].push_back(text); }
  void Select(int id, int item) override {
    selections_[id] = item >= 0 && item < static_cast<int>(items_[id].size()) ? item : -1;
  }
  int Selection(int id) override { return selections_.count(id) != 0 ? selections_[id] : -1; }
  void Show(int id, bool shown) override { hidden_[id] = !shown; }
  void Enable(int, bool) override {}
  void ShowMessage(const std::u16string&) override {}
  intptr_t OpenPage(int) override { return 2; }

  std::string Text(int id) { return ToUtf8(texts_[id]); }
  std::string OnOff(int id) { return checks_[id] ? "on" : "off"; }
  bool Shown(int id) { return !hidden_[id]; }
  // The selected item's text ("item N" where the list shows a text of its own language that the
  // tool does not have); "none (stored N)" when the stored value is no item.
  std::string Item(int id, int stored) {
    const int s = Selection(id);
    if (s < 0) return "none (stored " + std::to_string(stored) + ")";
    const std::string text = ToUtf8(items_[id][static_cast<size_t>(s)]);
    return text.empty() ? "item " + std::to_string(s) : text;
  }
  std::string Item(int id) { return Item(id, Selection(id)); }

 private:
  std::map<int, std::u16string> texts_;
  std::map<int, bool> checks_, hidden_;
  std::map<int, std::vector<std::u16string>> items_;
  std::map<int, int> selections_;
};

std::vector<uint8_t> ReadSetupBytes(const std::string& path) {
  std::FILE* f = OpenFile(path, "rb");
  if (f == nullptr)
    throw Failure(kExitUsage,
                  "cannot read " + path + ": check that it exists and that you may read it");
  std::vector<uint8_t> bytes(kSetupFileSize + 1);
  const size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  if (n != static_cast<size_t>(kSetupFileSize))
    throw Failure(kExitUsage, path + " is no setup file: a setup file holds " +
                                  std::to_string(kSetupFileSize) + " bytes");
  bytes.resize(kSetupFileSize);
  return bytes;
}

// Slot 0 holding a copy of the image, gone again with its copy.
class SetupCopy {
 public:
  explicit SetupCopy(const std::vector<uint8_t>& bytes) {
    std::error_code error;
    path_ = std::filesystem::temp_directory_path(error) /
            ("s470-inspect-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + ".s47");
    std::FILE* f = error ? nullptr : OpenFile(path_.u8string(), "wb");
    const bool written =
        f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f != nullptr) std::fclose(f);
    if (!written || OpenFileSlot(0, FromUtf8(path_.u8string()).c_str(), kSetupFileSize) != 0) {
      std::filesystem::remove(path_, error);
      throw Failure(kExitUsage, "cannot make a working copy in the temporary folder " +
                                    path_.parent_path().u8string() +
                                    ": check its space and permissions");
    }
  }
  ~SetupCopy() {
    CloseFileSlot(0);
    std::error_code error;
    std::filesystem::remove(path_, error);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace

SetupFields DescribeSetup(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadSetupBytes(path);
  const SetupCopy copy(bytes);
  SetupFields fields;
  const auto add = [&](const std::string& name, const std::string& value) {
    fields.push_back({name, value});
  };

  // An empty setup (no channel on) shows the editor's defaults, as the editor would.
  KeptControls setup;
  OpenSetupDialog(setup);
  add("module type", setup.Item(setup_ids::kModuleList, GetSlotByte(0, kSetupModuleType)));
  std::vector<int> channels;
  for (int k = 1; k <= kChannels; ++k) {
    const int box = setup_ids::kFirstChannelBox + 2 * (k - 1);
    if (!setup.Shown(box)) continue;
    channels.push_back(k);
    add("channel " + std::to_string(k), setup.OnOff(box) == "on" ? "active" : "inactive");
  }
  for (const int k : channels) {
    namespace ids = channel_ids;
    SetCurrentChannel(k - 1);
    KeptControls c;
    OpenChannelDialog(c);
    const std::string ch = "channel " + std::to_string(k) + ", ";
    const uint32_t record = ChannelRecordAddress(k - 1);
    add(ch + "resolution",
        c.Item(ids::kResolutionList, GetSlotByte(0, record + record::kResolution)));
    add(ch + "base value", c.Text(ids::kBaseEdit));
    for (int n = 0; n < 4; ++n) {
      const std::string limit = ch + "limit " + std::to_string(n + 1);
      add(limit, c.Text(ids::kFirstLimitBox + 2 * n + 1));
      add(limit + " switch", c.OnOff(ids::kFirstLimitBox + 2 * n));
    }
    for (int i = 1; i <= 8; ++i)
      if (c.Shown(ids::kFactorHeading + i))
        add(ch + "input " + std::to_string(i) + " factor", c.Text(ids::kFactorHeading + i));
    add(ch + "mode", c.Item(ids::kModeList, GetSlotByte(0, record + record::kMode)));
    if (c.Shown(ids::kModeOption)) add(ch + "mode option", c.OnOff(ids::kModeOption));
    add(ch + "pair value 1", c.Text(ids::kPair1Edit));
    add(ch + "pair value 2", c.Text(ids::kPair2Edit));
    add(ch + "pair value 2 switch", c.OnOff(ids::kPair2Box));
  }
  // The general settings as dialog 12 shows them (its two writes at opening go to the copy).
  namespace g = general_ids;
  KeptControls general;
  OpenGeneralDialog(general);
  const auto addItem = [&](int id, const std::string& name) {
    if (general.Shown(id)) add("general, " + name, general.Item(id));
  };
  addItem(g::kMicrometreSwitch, "micrometre display");
  addItem(g::kMicrometreValue, "micrometre step");
  for (int j = 0; j < 4; ++j)
    addItem(g::kFirstAssignment + 2 * j, "assignment " + std::to_string(j + 1));
  addItem(g::kChoice3Option, "assignment variant");
  addItem(g::kOneHot, "selection");
  add("general, option flag", general.OnOff(g::kOptionFlag));
  addItem(g::kScaleList, "scale");
  if (general.Shown(g::kOwnScale)) add("general, own scale", general.Text(g::kOwnScale));
  addItem(g::kScaleStyle, "scale style");
  for (int r = 0; r < kChannels; ++r) {
    addItem(g::kFirstChannelRow + 3 * r + 1, "channel " + std::to_string(r + 1) + " number");
    addItem(g::kFirstChannelRow + 3 * r + 2, "channel " + std::to_string(r + 1) + " option");
  }
  add("general, value 1", general.Text(g::kSigned1Edit));
  add("general, value 1 switch", general.OnOff(g::kSigned1Box));
  add("general, value 2", general.Text(g::kSigned2Edit));
  add("general, value 2 switch", general.OnOff(g::kSigned2Box));
  addItem(g::kInterval, "interval");
  for (int k = 0; k < kChannels; ++k)
    if (general.Shown(g::kFirstIntervalBox + k))
      add("general, interval channel " + std::to_string(k + 1),
          general.OnOff(g::kFirstIntervalBox + k));
  addItem(g::kTwoWay, "direction");

  for (int f = 0; f < 4; ++f)
    add("text field " + std::to_string(f + 1), "\"" + setup.Text(setup_ids::kTextEdit[f]) + "\"");
  return fields;
}

int InspectCommand(const Console& console, const std::string& file, bool json) {
  const SetupFields fields = DescribeSetup(file);
  if (json) {
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    for (const SetupField& f : fields) document[f.name] = f.value;
    console.out() << document.dump(2) << '\n';
  } else {
    for (const SetupField& f : fields) console.out() << f.name << ": " << f.value << '\n';
  }
  return kExitDone;
}

int DiffCommand(const Console& console, const std::string& a, const std::string& b) {
  const SetupFields before = DescribeSetup(a), after = DescribeSetup(b);
  std::map<std::string, std::string> inB;
  for (const SetupField& f : after) inB[f.name] = f.value;
  int differences = 0;
  const auto show = [&](const std::string& name, const std::string& from, const std::string& to) {
    console.out() << name << ": " << from << " -> " << to << '\n';
    ++differences;
  };
  std::map<std::string, bool> seen;
  for (const SetupField& f : before) {
    seen[f.name] = true;
    const auto it = inB.find(f.name);
    if (it == inB.end())
      show(f.name, f.value, "(not shown)");
    else if (it->second != f.value)
      show(f.name, f.value, it->second);
  }
  for (const SetupField& f : after)
    if (!seen[f.name]) show(f.name, "(not shown)", f.value);
  return differences == 0 ? kExitDone : kExitDevice;
}

}  // namespace s470::tool
