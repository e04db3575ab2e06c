// An in-memory dialog for the setup editor's logic: controls by id, with the list and text
// rules of real Windows controls (a selection outside the items is none; a text read with
// capacity n gives at most n - 1 characters, as GetWindowText does).
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "editor/controls_view.h"

namespace s470 {

struct FakeControl {
  std::u16string text;
  bool checked = false;
  std::vector<std::u16string> items;
  int selection = -1;
  bool shown = true;
  bool enabled = true;
};

class FakeControls : public ControlsView {
 public:
  std::map<int, FakeControl> controls;
  std::u16string title;
  std::vector<std::u16string> messages;
  std::vector<int> pagesOpened;
  std::function<intptr_t(int)> onOpenPage;  // runs the page; its end value

  FakeControl& operator[](int id) { return controls[id]; }

  void SetTitle(const std::u16string& text) override { title = text; }
  void SetText(int id, const std::u16string& text) override { controls[id].text = text; }
  std::u16string GetText(int id, int capacity) override {
    return controls[id].text.substr(0, static_cast<size_t>(std::max(0, capacity - 1)));
  }
  void LimitText(int, int) override {}
  void SetCheck(int id, bool checked) override { controls[id].checked = checked; }
  bool IsChecked(int id) override { return controls[id].checked; }
  void AddItem(int id, const std::u16string& text) override { controls[id].items.push_back(text); }
  void Select(int id, int item) override {
    FakeControl& c = controls[id];
    c.selection = item >= 0 && item < static_cast<int>(c.items.size()) ? item : -1;
  }
  int Selection(int id) override { return controls[id].selection; }
  void Show(int id, bool shown) override { controls[id].shown = shown; }
  void Enable(int id, bool enabled) override { controls[id].enabled = enabled; }
  void ShowMessage(const std::u16string& text) override { messages.push_back(text); }
  intptr_t OpenPage(int number) override {
    pagesOpened.push_back(number);
    return onOpenPage ? onOpenPage(number) : -1;
  }
};

}  // namespace s470
