#include "Replay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include "alerts/Registration.h"
#include "distribution/AlertCatalogue.h"
#include "distribution/AlertMatrix.h"
#include "framework/Clock.h"
#include "framework/DataNodeThread.h"
#include "framework/GenericNode.h"
#include "framework/Random.h"
#include "framework/Timers.h"
#include "marketdata/vendor/VendorConversation.h"
#include "marketdata/vendor/VendorFeedNodes.h"
#include "server/FeedServer.h"
#include "server/Items.h"
#include "server/Log.h"
#include "server/Tape.h"

namespace tarnwell::replay {
namespace {

using Steady = std::chrono::steady_clock;

// Days from 1899-12-30 to 1970-01-01, and the vendor's lead over the system's clock in days.
constexpr double kUnixEpochDay = 25569.0;
constexpr double kVendorLead = static_cast<double>(vendor::kVendorLeadMs) / vendor::kMsPerDay;
// Jobs the engine may have waiting before the conversation takes the next tape time: at full speed the tape
// would otherwise pile up in the data node thread's queue and every alert would wait behind it.
constexpr std::size_t kMaxBacklog = 12;
// A request whose reply tells that the feed has answered everything asked before it.
constexpr const char* kSyncItem = "LIVEQUOTE;1003;1003='$REPLAY.SYNC'";

// The first whole vendor millisecond at or after a local time: the way back from vendor::SystemTime.
std::int64_t VendorMsAtOrAfter(TDateTime local) {
  return static_cast<std::int64_t>(std::ceil((local - kDueSlack - kUnixEpochDay + kVendorLead) * 86400000.0));
}

// "YYYY-MM-DD HH:MM:SS.mmm", appended: every alert line starts with one.
void AppendLocal(std::string& line, TDateTime time) {
  const TDateTimeParts p = DecodeDateTime(time);
  vendor::AppendDateTimeText(line, p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond);
}

void Flush() {
  TDataNodeThread::Instance().Flush();
}

// Fires every timer due by `time` at its due time, each after the engine has finished with everything before
// it, and waits for the work the timers queued. `flushed`: the engine has just finished everything, so the
// first timer needs no flush of its own. Not on the data node thread.
void FireTimersDueBy(TDateTime time, bool flushed = false) {
  TTimerThread& timers = TTimerThread::Instance();
  for (TDateTime due; IsDueBy(due = timers.NextDue(), time);) {
    if (!flushed) Flush();
    if (due > clock::Now()) clock::SetManual(due);
    timers.WaitForDueEvents();
    Flush();
    flushed = true;
  }
}

// The feed's control channel: one command line out, one answer line back.
class TControl {
 public:
  explicit TControl(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot reach the replay's own feed on port " + std::to_string(port));
    }
  }
  ~TControl() { ::close(fd_); }

  std::string Command(const std::string& line) {
    const std::string out = line + "\n";
    if (::send(fd_, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) {
      throw std::runtime_error("the replay's own feed stopped answering");
    }
    std::string answer;
    for (char c; answer.empty() || answer.back() != '\n';) {
      if (::recv(fd_, &c, 1, 0) != 1) throw std::runtime_error("the replay's own feed stopped answering");
      answer += c;
    }
    answer.pop_back();
    if (!answer.starts_with("ok"))
      throw std::runtime_error("the replay's own feed refused '" + line + "': " + answer);
    return answer;
  }

 private:
  int fd_;
};

// What the conversation thread learns from the feed's time marks, for the thread that drives the replay.
struct TLockstep {
  std::mutex lock;
  std::condition_variable changed;
  std::atomic<std::int64_t> markMs{INT64_MIN};  // the tape time the engine has been told last
  // The mark the driving thread waits for; marks before it change markMs without waking anybody (a wake-up
  // per tape time would cost more than the engine's work).
  std::atomic<std::int64_t> awaitedMs{INT64_MAX};
  bool ended = false;   // guarded by lock
  bool synced = false;  // guarded by lock
  std::atomic<std::uint64_t> published{0};

  // When each recent tape time reached the conversation, for the latency of the alerts it causes. Entries
  // older than the engine's current data time are dropped as marks come in.
  std::mutex arrivalLock;
  std::deque<std::pair<TDateTime, Steady::time_point>> arrivals;  // guarded by arrivalLock

  // Conversation thread.
  bool Observe(const VConvMessage& message) {
    const std::string_view text = message.Text ? message.Text : "";
    if (message.Type == 4 && text == kSyncItem) {
      Signal([&] { synced = true; });
      return true;
    }
    if (message.Type != 9) return false;
    if (text.starts_with("end ")) {
      published = std::strtoull(text.data() + 4, nullptr, 10);
      Signal([&] { ended = true; });
      return true;
    }
    const auto vendorMs = vendor::ParseTime(text.substr(0, 23));
    if (!vendorMs || text.size() < 25) return true;  // not a mark this feed writes: nothing to follow
    published = std::strtoull(text.data() + 24, nullptr, 10);
    TDataNodeThread& engine = TDataNodeThread::Instance();
    if (engine.QueueLength(1) > kMaxBacklog) engine.WaitForQueueAtMost(kMaxBacklog / 2);
    const TDateTime local = vendor::SystemTime(*vendorMs);
    // Quiet timers (and any timer made while the tape ran) fire here rather than on their own thread, so
    // that they still come between the updates they fall between.
    FireTimersDueBy(local);
    // Quietly: no timer is due by now (fired just above), so the timer thread need not look.
    if (local > clock::Now()) clock::SetManualQuietly(local);
    {
      const TDateTime processing = engine.CurrentDataTime();
      std::lock_guard guard(arrivalLock);
      while (!arrivals.empty() && arrivals.front().first < processing) arrivals.pop_front();
      arrivals.emplace_back(local, Steady::now());
    }
    if (*vendorMs < awaitedMs.load(std::memory_order_relaxed)) {
      markMs.store(*vendorMs, std::memory_order_relaxed);
    } else {
      Signal([&] { markMs.store(*vendorMs, std::memory_order_relaxed); });
    }
    return true;
  }

  template <class Change>
  void Signal(Change change) {
    {
      std::lock_guard guard(lock);
      change();
    }
    changed.notify_all();
  }

  // When the tape time reached the conversation, if it is still known.
  std::optional<Steady::time_point> ArrivalOf(TDateTime time) {
    std::lock_guard guard(arrivalLock);
    auto found = std::lower_bound(arrivals.begin(), arrivals.end(), time,
                                  [](const auto& entry, TDateTime t) { return entry.first < t; });
    if (found == arrivals.end() || found->first != time) return std::nullopt;
    return found->second;
  }
};

TLockstep& Lockstep() {
  static auto* lockstep = new TLockstep;  // the conversation thread outlives every static
  return *lockstep;
}

// One alert event as a tab-separated line, appended to `line`: time, alert name, symbol, description, the
// 27 statistics, Num.
void AppendEventLine(std::string& line, const TAlertEvent& event, const std::string& name) {
  AppendLocal(line, event.Data.Time);
  for (const std::string* part : {&name, &event.Inputs->Symbol(), &event.Data.Description}) {
    line += '\t';
    line += *part;
  }
  for (int field = 0; field < aefCount; ++field) {
    line += '\t';
    if (!event.Data.AppendStatisticText(static_cast<TAlertEventField>(field), line)) line += "NULL";
  }
  line += '\t';
  char num[24];
  line.append(num, std::to_chars(num, num + sizeof num, event.Data.Num).ptr);
  line += '\n';
}

class TProgressBar {
 public:
  TProgressBar(bool shown, std::uint64_t total) : shown_(shown), total_(std::max<std::uint64_t>(total, 1)) {}
  void Show(std::uint64_t done, std::int64_t markMs, bool force = false) {
    if (!shown_) return;
    const auto now = Steady::now();
    if (!force && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const double fraction = std::min(1.0, static_cast<double>(done) / static_cast<double>(total_));
    const int filled = static_cast<int>(fraction * 40);
    const std::string tapeTime = markMs == INT64_MIN ? std::string(23, ' ') : vendor::FormatTime(markMs);
    std::fprintf(stderr, "\r[%s%s] %3d%%  %llu/%llu updates  %s", std::string(filled, '#').c_str(),
                 std::string(40 - filled, '.').c_str(), static_cast<int>(fraction * 100),
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_),
                 tapeTime.c_str());
    std::fflush(stderr);
  }
  void Finish() {
    if (shown_) std::fputc('\n', stderr);
  }

 private:
  bool shown_;
  std::uint64_t total_;
  Steady::time_point last_{};
};

// The replay is its own settings dialog: fixed settings, errors straight to standard error.
class TReplayPushHost final : public IPushSettingsHost {
 public:
  explicit TReplayPushHost(TPushSettings settings) : settings_(std::move(settings)) {}
  TPushSettings LockSettings() override { return settings_; }
  void UnlockSettings() override {}
  void ReportError(const std::string& line) override { std::fprintf(stderr, "\ntarnwell-replay: %s\n", line.c_str()); }

 private:
  TPushSettings settings_;
};

double Seconds(Steady::duration d) {
  return std::chrono::duration<double>(d).count();
}

// The symbols to subscribe: those of the symbols file, or every symbol of the tape.
std::vector<std::string> ChooseSymbols(const TReplayOptions& options, const vendor::TapeReader& tape) {
  if (options.symbolsFile.empty()) return tape.Symbols();
  std::vector<std::string> symbols = ReadSymbolsFile(options.symbolsFile);
  if (symbols.empty()) throw EReplayInput(options.symbolsFile + ": no symbols");
  return symbols;
}

}  // namespace

std::vector<std::string> ReadSymbolsFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw EReplayInput("cannot read the symbols file " + path);
  std::vector<std::string> symbols;
  std::set<std::string> seen;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
      line.pop_back();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const std::string symbol = line.substr(start);
    if (!vendor::ValidSymbol(symbol))
      throw EReplayInput(path + ":" + std::to_string(number) + ": '" + symbol + "' is not a symbol");
    if (seen.insert(symbol).second) symbols.push_back(symbol);
  }
  return symbols;
}

TReplaySummary RunReplay(const TReplayOptions& options) {
  const auto started = Steady::now();
  TReplaySummary summary;
  if (!std::filesystem::is_directory(options.home)) {
    throw EReplayInput("--home " + options.home + ": no such folder (it holds the overnight files)");
  }
  auto tape = std::make_unique<vendor::TapeReader>(options.tape);  // checks every line
  if (tape->LineCount() == 0) throw EReplayInput(options.tape + ": the tape holds no updates");
  const std::vector<std::string> symbols = ChooseSymbols(options, *tape);
  const std::uint64_t tapeLines = tape->LineCount();
  std::FILE* out = stdout;
  if (!options.out.empty()) {
    out = std::fopen(options.out.c_str(), "w");
    if (!out) throw EReplayInput("cannot write " + options.out + ": " + std::strerror(errno));
  }

  std::unique_ptr<TReplayPushHost> pushHost;
  std::unique_ptr<TAlertsQueue> push;
  if (options.push) {
    TMysqlClient& client = TMysqlClient::Instance();
    if (!client.Complete()) throw EReplayInput("--push " + options.push->Host + ": " + client.Problem());
    pushHost = std::make_unique<TReplayPushHost>(*options.push);
    push = std::make_unique<TAlertsQueue>(client, pushHost.get());
    push->SetEnabled(true);
  }

  // The engine, with its clock at the tape's first update and the tape served from inside this process.
  ::setenv("TARNWELL_HOME", options.home.c_str(), 1);
  clock::SetManual(vendor::SystemTime(tape->FirstTime()));
  vendor::SetLogQuiet(true);
  vendor::ServerOptions feedOptions;
  feedOptions.listen = "127.0.0.1:0";
  feedOptions.control = "127.0.0.1:0";
  feedOptions.speed = 0;
  feedOptions.lockstep = true;
  feedOptions.origin_ms = tape->FirstTime();
  vendor::FeedServer feed(feedOptions, std::move(tape), nullptr);
  ::setenv("VCONV_SERVER", ("127.0.0.1:" + std::to_string(feed.Port())).c_str(), 1);
  TLockstep& lockstep = Lockstep();
  TVendorConversationDataNode::SetMessageObserver(
      [&lockstep](const VConvMessage& message) { return lockstep.Observe(message); });
  TTimerThread::Instance();
  InitializeFramework();
  RegisterStandardFactories();
  SeedRandom(1);  // the jitter of some alert qualities repeats too: a replay gives the same lines every time
  if (!InitializeVendorLibrary()) throw std::runtime_error("the vendor library did not start");
  InstallVendorFeed();
  auto [conversation, conversationLink] = VendorConversationFactory()->GetNode();
  TOwnedLink conversationOwner(conversationLink);
  auto* vendorConversation = static_cast<TVendorConversationDataNode*>(conversation);

  // The alert types: every registered factory that makes an alert, or the ones asked for.
  std::vector<std::string> names;
  std::vector<TOwnedLink> probes;  // kept until the matrix holds the same nodes
  CallOnDataNodeThread([&] {
    const std::vector<std::string> candidates = options.allAlerts ? RegisteredFactoryNames() : options.alerts;
    for (const std::string& name : candidates) {
      TFactoryRef registered = FindFactory(name, false);
      if (!registered) throw EReplayInput("--alerts: '" + name + "' is not a registered alert type");
      TFactoryRef factory = registered->Clone();
      factory->SetParam(kSymbolName, symbols.front());
      auto [node, link] = factory->GetNode();
      probes.emplace_back(link);
      if (dynamic_cast<TAlert*>(node)) {
        names.push_back(name);
      } else if (!options.allAlerts) {
        throw EReplayInput("--alerts: '" + name + "' is a value, not an alert type");
      }
    }
  });

  // Every symbol subscribed with its statistics, every alert type bound to every symbol.
  std::vector<TOwnedLink> background;
  CallOnDataNodeThread([&] {
    for (const std::string& symbol : symbols)
      background.emplace_back(TAlertBackgroundData::Find(symbol).second);
    TVendorL1Refresh::Instance();  // its timer exists before the tape starts, like every other one
  });
  auto* matrix = TDataNode::Create<TAlertMatrix>();
  TOwnedLink matrixLink(matrix->CreateLink());
  std::vector<std::unique_ptr<TAlertCategory>> categories;
  std::unordered_map<const TAlertCategory*, std::string> categoryNames;
  for (const std::string& name : names) {
    categories.push_back(std::make_unique<TAlertCategory>(FindFactory(name)));
    categoryNames[categories.back().get()] = name;
    matrix->AddCategory(categories.back().get());
  }
  std::vector<std::unique_ptr<TAlertInputs>> inputs;
  for (const std::string& symbol : symbols) {
    inputs.push_back(std::make_unique<TAlertInputs>(symbol));
    matrix->AddInputs(inputs.back().get());
  }
  std::vector<std::int64_t> latencies;  // data node thread until the tape has ended
  auto [queue, queueLink] = CallOnDataNodeThread([&] {
    return TAlertQueue::Find(
        matrix->QueueName(), TCallback::Function([&lockstep, &latencies] {
          const auto arrived = lockstep.ArrivalOf(TDataNodeThread::Instance().CurrentDataTime());
          if (!arrived) return;
          latencies.push_back(
              std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now() - *arrived).count());
        }));
  });
  TOwnedLink queueOwner(queueLink);
  CallOnDataNodeThread([&] { queueLink->SetReceiveInput(true); });
  const auto bindStart = Steady::now();
  matrix->ApplyChanges();
  do {
    Flush();
  } while (matrix->HasPending());
  summary.bindSeconds = Seconds(Steady::now() - bindStart);
  probes.clear();
  Flush();

  // The feed starts answering only now, so that every subscription goes out in one deterministic burst.
  std::thread feedThread([&feed] { feed.Run(); });
  TControl control(feed.ControlPort());
  auto waitFor = [&](auto done, const char* what) {
    std::unique_lock guard(lockstep.lock);
    if (!lockstep.changed.wait_for(guard, std::chrono::seconds(30), done)) {
      throw std::runtime_error(std::string("the replay's own feed did not answer (") + what + ")");
    }
  };
  const auto connectDeadline = Steady::now() + std::chrono::seconds(30);
  while (!CallOnDataNodeThread([&] { return vendorConversation->Connected(); })) {
    if (Steady::now() > connectDeadline)
      throw std::runtime_error("the engine did not connect to the replay's own feed");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // What the engine had asked of the feed by the last sync: a window after which nothing more was asked
  // needs no round trip (the heartbeat's one-second timer makes a window of every second of the day).
  std::uint64_t askedAtSync = 0;
  auto syncWithFeed = [&] {
    Flush();
    {
      std::lock_guard guard(lockstep.lock);
      lockstep.synced = false;
    }
    askedAtSync = CallOnDataNodeThread([&] {
      vendorConversation->Request(kSyncItem);
      return vendorConversation->OutgoingCount();
    });
    waitFor([&] { return lockstep.synced; }, "a request");
    Flush();
  };
  syncWithFeed();

  // The tape, in windows that end where the next timer that is not quiet is due: the feed plays up to that
  // moment, the engine finishes, the timers fire, whatever they asked of the feed is answered, and the next
  // window opens.
  std::map<std::string, std::uint64_t> counts;
  // The database row's alert type is the catalogue's short code.
  std::unordered_map<const TAlertCategory*, std::string> shortCodes;
  for (const auto& [category, name] : categoryNames) {
    const TAlertTypeRow* row = FindAlertTypeRow(name);
    shortCodes[category] = row != nullptr ? row->ShortName : name;
  }
  std::optional<Steady::time_point> firstPushed;
  auto drainEvents = [&] {
    std::string text;
    bool pushed = false;
    for (const TAlertEvent& event : queue->TakeEvents()) {
      const std::string& name = categoryNames.at(event.Category);
      AppendEventLine(text, event, name);
      ++counts[name];
      ++summary.alerts;
      if (push) {
        if (!firstPushed) firstPushed = Steady::now();
        push->AddRowWaiting(FormatAlertRow(push->Client(), event.Data, shortCodes.at(event.Category),
                                           event.Inputs->Symbol(), false));
        pushed = true;
      }
    }
    if (pushed) push->Wake();
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
  };
  TProgressBar progress(options.progress, tapeLines);
  const auto replayStart = Steady::now();
  std::int64_t allowed = INT64_MIN;
  for (;;) {
    FireTimersDueBy(clock::Now(), true);  // every window ends with a flush, as does the first sync
    // A quiet timer (the heartbeat's every second) fires at its place in the tape without a window of its
    // own: the conversation thread fires every due timer at each mark, and only what a timer asks of the
    // feed needs the feed stopped until it is answered.
    const TDateTime due = TTimerThread::Instance().NextDueNotQuiet();
    const bool toEnd = !std::isfinite(due);
    const std::int64_t gate = toEnd ? INT64_MAX : std::max(VendorMsAtOrAfter(due), allowed + 1);
    allowed = gate;
    lockstep.awaitedMs = gate;
    control.Command(toEnd ? "until end" : "until " + vendor::FormatTime(gate));
    bool ended = false;
    for (;;) {
      std::int64_t mark;
      {
        std::unique_lock guard(lockstep.lock);
        lockstep.changed.wait_for(guard, std::chrono::milliseconds(50),
                                  [&] { return lockstep.ended || lockstep.markMs >= gate; });
        ended = lockstep.ended;
        mark = lockstep.markMs;
      }
      drainEvents();
      progress.Show(lockstep.published, mark);
      if (ended || mark >= gate) break;
    }
    Flush();
    if (ended) break;
    if (vendorConversation->OutgoingCount() != askedAtSync) syncWithFeed();
  }
  summary.replaySeconds = Seconds(Steady::now() - replayStart);
  Flush();
  drainEvents();
  progress.Show(lockstep.published, lockstep.markMs, true);
  progress.Finish();
  feed.Stop();
  feedThread.join();
  // A write that failed on the way (a full disk) leaves the stream's error flag set.
  const bool written = std::fflush(out) == 0 && !std::ferror(out);
  if (!written || (out != stdout && std::fclose(out) != 0)) {
    throw EReplayInput("cannot write " +
                       (options.out.empty() ? std::string("standard output") : options.out));
  }

  if (push) {
    // A loader ends only when the server has every row.
    push->Wake();
    while (!push->WaitIdle(std::chrono::seconds(5))) {
      std::fprintf(stderr, "tarnwell-replay: waiting for the database at %s: %lld rows\n",
                   options.push->Host.c_str(), static_cast<long long>(push->Counts().Waiting));
    }
    summary.pushed = true;
    summary.push = push->Counts();
    if (firstPushed) summary.pushSeconds = Seconds(Steady::now() - *firstPushed);
  }

  summary.updates = lockstep.published;
  summary.symbols = symbols.size();
  summary.alertTypes = names.size();
  summary.alertsByName.assign(counts.begin(), counts.end());
  summary.totalSeconds = Seconds(Steady::now() - started);
  std::vector<std::int64_t> sorted = CallOnDataNodeThread([&] { return latencies; });
  std::sort(sorted.begin(), sorted.end());
  summary.latencySamples = sorted.size();
  if (!sorted.empty()) {
    summary.latencyMedianUs = static_cast<double>(sorted[sorted.size() / 2]) / 1000.0;
    summary.latency99Us =
        static_cast<double>(sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)]) / 1000.0;
  }
  return summary;
}

std::string FormatSummary(const TReplaySummary& s) {
  auto perSecond = [](double count, double seconds) { return seconds > 0 ? count / seconds : 0.0; };
  char text[512];
  std::string result;
  std::snprintf(text, sizeof text, "updates read: %llu\nsymbols: %zu, alert types: %zu\nalerts: %llu\n",
                static_cast<unsigned long long>(s.updates), s.symbols, s.alertTypes,
                static_cast<unsigned long long>(s.alerts));
  result += text;
  for (const auto& [name, count] : s.alertsByName) {
    std::snprintf(text, sizeof text, "  %-32s %llu\n", name.c_str(), static_cast<unsigned long long>(count));
    result += text;
  }
  std::snprintf(text, sizeof text,
                "elapsed: %.2f s (binding %.2f s, replay %.2f s)\n"
                "updates per second: %.0f\nalerts per second: %.0f\n",
                s.totalSeconds, s.bindSeconds, s.replaySeconds,
                perSecond(static_cast<double>(s.updates), s.replaySeconds),
                perSecond(static_cast<double>(s.alerts), s.replaySeconds));
  result += text;
  if (s.latencySamples > 0) {
    std::snprintf(
        text, sizeof text,
        "latency from arrival to queued alert: median %.1f us, 99th percentile %.1f us (%zu alerts)\n",
        s.latencyMedianUs, s.latency99Us, s.latencySamples);
    result += text;
  }
  if (s.pushed) {
    std::snprintf(text, sizeof text, "database rows: sent %lld, lost %lld, waiting %lld (%.0f rows per second)\n",
                  static_cast<long long>(s.push.Sent), static_cast<long long>(s.push.Lost),
                  static_cast<long long>(s.push.Waiting),
                  perSecond(static_cast<double>(s.push.Sent), s.pushSeconds));
    result += text;
  }
  return result;
}

TPushSettings ParsePushAddress(const std::string& address) {
  TPushSettings settings;
  const std::size_t colon = address.rfind(':');
  settings.Host = address.substr(0, colon);
  if (colon != std::string::npos) {
    settings.Port = address.substr(colon + 1);
    const bool digits = !settings.Port.empty() && settings.Port.size() <= 5 &&
                        settings.Port.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(settings.Port) < 1 || std::stoi(settings.Port) > 65535) {
      throw EReplayInput("--push " + address + ": the port '" + settings.Port + "' is not a number from 1 to 65535");
    }
  }
  if (settings.Host.empty()) throw EReplayInput("--push " + address + ": no host name");
  return settings;
}

}  // namespace tarnwell::replay
