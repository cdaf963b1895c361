#pragma once
// The alert matrix binds alert types ("categories") to symbols ("inputs") and keeps one running alert node
// for every pair. A firing becomes an alert event with the symbol's market statistics, appended to a named
// queue that a window empties in one step. Changes are requested from the user interface thread and applied
// on the data node thread in passes of at most half a second, so that binding thousands of alerts never
// stalls the market data.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// One alert type: a factory that makes its alert node once "Symbol Name" is set. Identified by identity.
class TAlertCategory {
 public:
  explicit TAlertCategory(TFactoryRef factory);
  virtual ~TAlertCategory() = default;
  const TFactoryRef& Factory() const { return factory_; }
  std::uint32_t Id() const { return id_; }

 private:
  TFactoryRef factory_;
  std::uint32_t id_;
};

/// One symbol's inputs. The window keeps exactly one per symbol, so identity means symbol.
class TAlertInputs {
 public:
  explicit TAlertInputs(std::string symbol);
  virtual ~TAlertInputs() = default;
  /// Fills the factory's "Symbol Name".
  virtual void AddInputs(IGenericDataNodeFactory& factory) const;
  const std::string& Symbol() const { return symbol_; }
  std::uint32_t Id() const { return id_; }

 private:
  std::string symbol_;
  std::uint32_t id_;
};

/// A named buffer of alert events, shared by key. One process-wide lock guards every queue's buffer.
class TAlertQueue : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TAlertQueue";
  static TAlertQueue* CreateFromKey(const std::string&) { return Create<TAlertQueue>(); }
  /// "0", "1", ... in this process.
  static std::string NewQueueName();
  /// The queue and a new inactive link whose callback runs whenever events are added.
  static std::pair<TAlertQueue*, TDataNodeLink*> Find(const std::string& name, TCallback callback = {});

  /// Appends the event, then notifies. Data node thread.
  void AddEvent(TAlertEvent event);
  /// Every queued event in arrival order; the queue is empty afterwards. Any thread.
  TAlertEvents TakeEvents();
  /// Slots of the buffer (it grows to 11, 22, 44, ...).
  std::size_t Capacity() const;

 private:
  TAlertEvents events_;  // guarded by the process-wide queue lock; the first count_ entries are events
  std::size_t count_ = 0;
};

/// The market statistics of one symbol that travel with every alert event, shared per symbol.
class TAlertBackgroundData : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TAlertBackgroundData";
  static TAlertBackgroundData* CreateFromKey(const std::string& symbol) {
    return Create<TAlertBackgroundData>(symbol);
  }
  static std::pair<TAlertBackgroundData*, TDataNodeLink*> Find(const std::string& symbol) {
    return FindOrCreate<TAlertBackgroundData>(symbol);
  }
  explicit TAlertBackgroundData(const std::string& symbol);

  /// Copies the present statistics into the event and marks them. Data node thread.
  void FillIn(TAlertEventData& data);

 private:
  enum {
    kRelVol,
    kMostRecentClose,
    kExpectedOpen,
    kDayRange,
    kRsi15,
    kVolume,
    kUp5,
    kUp10,
    kUp15,
    kUp30,
    kPutCall,
    kDistanceFromNbbo,
    kTodaysRange,
    kPUp5,
    kPUp10,
    kPUp15,
    kPUp30,
    kVUp5,
    kVUp10,
    kVUp15,
    kVUp30,
    kValueCount
  };
  TGenericTosDataNode* tos_;
  TGenericL1DataNode* l1_;
  TGenericDataNode* values_[kValueCount] = {};
};

/// One bound pair: the alert node of a category for an input, feeding the matrix's queue. The queue and the
/// input's background data are held by the matrix, once for all its pairs.
class TAlertListener {
 public:
  TAlertListener(const TAlertCategory& category, TAlertQueue& queue, const TAlertInputs& inputs,
                 TAlertBackgroundData* backgroundData);
  ~TAlertListener();
  TAlertListener(const TAlertListener&) = delete;  // its link and its callback's address are its own
  TAlertListener& operator=(const TAlertListener&) = delete;
  TAlert& Alert() const { return *alert_; }

 private:
  void OnAlert();

  const TAlertCategory& category_;
  const TAlertInputs& inputs_;
  TAlertBackgroundData* backgroundData_;
  TAlertQueue& queue_;
  TAlert* alert_ = nullptr;
  TDataNodeLink* alertLink_ = nullptr;
};

class TAlertMatrix : public TDataNode {
 public:
  TAlertMatrix();
  ~TAlertMatrix() override;

  // Requests, from any thread; the latest request for an object wins and nothing changes until applied.
  void AddCategory(TAlertCategory* category);
  void RemoveCategory(TAlertCategory* category);
  void AddInputs(TAlertInputs* inputs);
  void RemoveInputs(TAlertInputs* inputs);
  void ClearPending();
  /// Queues an apply pass on the data node thread (always queued, also from that thread).
  void ApplyChanges();

  const std::string& QueueName() const { return queueName_; }
  /// Bound pairs (diagnostics and tests).
  std::size_t ListenerCount();
  bool HasPending();

  static constexpr double kPassSeconds = 0.5;

 private:
  void ApplyPass();
  void Bind(TAlertCategory* category, TAlertInputs* inputs);
  void Unbind(TAlertCategory* category, TAlertInputs* inputs);
  /// Lets go of what no bound pair uses any more: the input's background data, and the queue.
  void ReleaseUnused(TAlertInputs* inputs);
  static std::uint64_t PairKey(const TAlertCategory* c, const TAlertInputs* i) {
    return (static_cast<std::uint64_t>(c->Id()) << 32) | i->Id();
  }

  // What the pairs of one input share: its background data, held while any of them is bound.
  struct TBoundInputs {
    TAlertBackgroundData* background = nullptr;
    TOwnedLink backgroundLink;
    std::size_t pairs = 0;
  };

  std::string queueName_;
  std::recursive_mutex lock_;
  // The queue, held while any pair is bound. Guarded by lock_, as is everything below.
  TAlertQueue* queue_ = nullptr;
  TOwnedLink queueLink_;
  std::unordered_map<std::uint32_t, TBoundInputs> boundInputs_;  // by input id
  // All guarded by lock_. Ordered by id, so passes bind in a repeatable order.
  std::map<std::uint32_t, TAlertCategory*> categories_;
  std::map<std::uint32_t, TAlertInputs*> inputs_;
  // By pair key; hashed, not ordered: a day's binding makes a million pairs, and nothing walks them in order.
  std::unordered_map<std::uint64_t, TAlertListener> listeners_;
  std::map<std::uint32_t, TAlertCategory*> pendingCategoryAdds_, pendingCategoryRemoves_;
  std::map<std::uint32_t, TAlertInputs*> pendingInputAdds_, pendingInputRemoves_;
};

}  // namespace tarnwell
