#include "distribution/AlertWindowModel.h"

#include <algorithm>
#include <cstdio>

#include "distribution/AlertsPush.h"
#include "framework/DataNodeThread.h"
#include "framework/DebugLog.h"
#include "framework/ScreenUpdates.h"
#include "framework/SymbolGroups.h"

namespace tarnwell {

std::string SymbolOfLine(const std::string& line) {
  std::string symbol = NormalisedSymbol(line);
  // At most 32 visible characters, the database's column; anything else is no symbol.
  const bool visible = std::all_of(symbol.begin(), symbol.end(), [](unsigned char c) { return c > 0x20 && c < 0x7F; });
  if (symbol.size() > kLongestSymbol || !visible) return {};
  return symbol;
}

std::string FormatAlertTime(TDateTime time) {
  const std::int64_t ms = TimeOfDayMs(time);
  int hour = static_cast<int>(ms / 3600000);
  if (hour > 12) hour -= 12;
  char text[32];
  std::snprintf(text, sizeof text, "%d:%.2d:%.2d", hour, static_cast<int>(ms / 60000 % 60),
                static_cast<int>(ms / 1000 % 60));
  return text;
}

TAlertInputs* TAlertSymbols::InputsFor(const std::string& symbol) {
  if (symbol.empty()) return nullptr;
  std::unique_ptr<TAlertInputs>& inputs = inputs_[symbol];
  if (!inputs) inputs = std::make_unique<TAlertInputs>(symbol);
  return inputs.get();
}

TAlertWindowModel::TAlertWindowModel(TAlertsQueue* push, std::function<void(int)> onNewAlerts)
    : push_(push), onNewAlerts_(std::move(onNewAlerts)), catalogue_(GetAllAlertTypes()) {
  std::tie(update_, updateLink_) = TDeferredUpdate::CreateWithLink(TW_METHOD(this, OnNewAlerts));
  matrix_ = TDataNode::Create<TAlertMatrix>();
  matrixLink_ = matrix_->CreateLink();
  auto [queue, queueLink] = TAlertQueue::Find(matrix_->QueueName(), update_->InvalidateCallback());
  queue_ = queue;
  update_->AdoptLink(queueLink);
  updateLink_->SetReceiveInput(true);
  rows_.reserve(catalogue_.size());
  for (const TAlertTypeEntry& entry : catalogue_) rows_.push_back({false, TVisualAlertCategory::CopyOf(*entry.Category)});
}

TAlertWindowModel::~TAlertWindowModel() {
  // The queue's link goes with the deferred update; then nothing more is bound, and the matrix goes before
  // the inputs and categories it refers to.
  TDataNodeLink::Release(updateLink_);
  matrix_->ClearPending();
  TDataNodeLink::Release(matrixLink_);
  // The matrix is freed by a job on the data node thread, and its pairs use the inputs and categories until
  // then: they go in a job queued behind it.
  auto leftovers = std::make_shared<std::pair<TAlertSymbols, std::vector<TRow>>>(std::move(inputs_), std::move(rows_));
  TDataNodeThread::Instance().Enqueue(1, -1, TCallback::Function([leftovers]() mutable { leftovers.reset(); }));
}

void TAlertWindowModel::AddSymbol(const std::string& symbol) {
  if (!symbols_.insert(symbol).second) return;
  matrix_->AddInputs(inputs_.InputsFor(symbol));
}

void TAlertWindowModel::RemoveSymbol(const std::string& symbol) {
  if (symbols_.erase(symbol) == 0) return;
  matrix_->RemoveInputs(inputs_.InputsFor(symbol));
}

void TAlertWindowModel::SetSymbols(const std::vector<std::string>& lines) {
  std::set<std::string> marked = symbols_;
  std::vector<std::string> add;
  for (const std::string& line : lines) {
    std::string symbol = SymbolOfLine(line);
    if (symbol.empty()) continue;
    if (symbols_.count(symbol) != 0) {
      marked.erase(symbol);
    } else if (std::find(add.begin(), add.end(), symbol) == add.end()) {
      add.push_back(symbol);
    }
  }
  for (const std::string& symbol : add) AddSymbol(symbol);
  for (const std::string& symbol : marked) RemoveSymbol(symbol);
  ApplyChanges();
}

void TAlertWindowModel::Switch(TRow& row, bool on) {
  if (row.Enabled == on) return;
  row.Enabled = on;
  if (on) {
    matrix_->AddCategory(row.Category.get());
  } else {
    matrix_->RemoveCategory(row.Category.get());
  }
}

void TAlertWindowModel::SelectGroup(TAlertGroup group) {
  for (std::size_t i = 0; i < rows_.size(); ++i) Switch(rows_[i], catalogue_[i].Group == group);
  ApplyChanges();
}

TAlertConfigList TAlertWindowModel::GetConfig() const {
  TAlertConfigList list;
  list.reserve(rows_.size());
  for (const TRow& row : rows_) {
    const TVisualAlertCategory& c = *row.Category;
    list.push_back({row.Enabled, c.Foreground, c.Background, c.Bold, c.Italic, c.Underline});
  }
  return list;
}

void TAlertWindowModel::SetConfig(const TAlertConfigList& list) {
  for (std::size_t i = 0; i < rows_.size() && i < list.size(); ++i) {
    Switch(rows_[i], list[i].Enabled);
    TVisualAlertCategory& c = *rows_[i].Category;
    c.Foreground = list[i].Foreground;
    c.Background = list[i].Background;
    c.Bold = list[i].Bold;
    c.Italic = list[i].Italic;
    c.Underline = list[i].Underline;
  }
  ApplyChanges();
}

void TAlertWindowModel::ApplyChanges() { matrix_->ApplyChanges(); }

int TAlertWindowModel::TakeNewAlerts() {
  TAlertEvents events = queue_->TakeEvents();
  if (events.empty()) return 0;
  if (push_ != nullptr && push_->Enabled()) {
    for (const TAlertEvent& event : events) {
      // A row the push cannot make is reported and left out; the window still shows the alert.
      try {
        push_->AddAlert(event.Data, CategoryOf(event).ShortName, event.Inputs->Symbol());
      } catch (const std::exception& error) {
        AddLine("Alert not pushed (" + event.Inputs->Symbol() + ", " + CategoryOf(event).ShortName + "): " + error.what());
      }
    }
    push_->Wake();
  }
  for (TAlertEvent& event : events) {
    ring_[(first_ + count_) % kRingSize] = std::move(event);
    if (count_ == kRingSize) {
      first_ = (first_ + 1) % kRingSize;
    } else {
      ++count_;
    }
  }
  return static_cast<int>(events.size());
}

void TAlertWindowModel::OnNewAlerts() {
  const int arrived = TakeNewAlerts();
  if (onNewAlerts_) onNewAlerts_(arrived);
}

void TAlertWindowModel::Clear() { count_ = 0; }

const TAlertEvent& TAlertWindowModel::EventAtRow(int row) const {
  return ring_[(first_ + count_ - row - 1 + kRingSize) % kRingSize];
}

}  // namespace tarnwell
