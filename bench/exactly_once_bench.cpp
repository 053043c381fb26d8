// Exactly once with a gateway that sends within a second (the executable, headless, on the
// demo catalog with gammu-smsd and its dummy phone):
// - BM_RandomKillsWithGammuSmsd: 100 kills at random moments while requests keep coming and
//   the daemon sends; then every message sent: requests sent twice and lost.
// - BM_WorstMomentKills: kills right after a message was queued and before its request was
//   marked, once the daemon had sent it; then sent twice and lost.
// - BM_LockReleaseToFirstReply: another program holds the catalog's write lock for 20 s as
//   the agent starts (a first start, which creates the agent's tables); the time from the
//   lock's release to the first reply.

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <random>
#include <string>
#include <thread>

#include "bench/sim_demo.h"
#include "tests/sms/worst_moment.h"
#include "tests/support/gammu_smsd.h"

namespace {

using bench_support::SimDemo;
using bench_support::WaitUntil;
using Clock = std::chrono::steady_clock;

// gammu-smsd with its dummy phone on the demo's outbox.
struct Daemon {
  explicit Daemon(const SimDemo& demo)
      : config(test_support::WriteGammuSmsdConfig(demo.dir() / "smsd", demo.outbox())),
        process(test_support::FindGammuSmsd(), {}, demo.dir() / "smsd", {"-c", config.string()},
                "smsd") {}
  std::filesystem::path config;
  host_test::AgentProcess process;
};

// Waits until the daemon has sent everything, then counts what went out per request.
void CountDeliveries(benchmark::State& state, const SimDemo& demo, int requests) {
  if (!WaitUntil([&] { return SimDemo::Count(demo.outbox(), "Select count(*) from outbox") == 0; },
                 std::chrono::minutes(10))) {
    state.SkipWithError("the daemon did not send everything");
  }
  bench_support::Deliveries sent;
  sent.Add(demo.outbox(),
           "Select DestinationNumber,count(distinct ID) from sentitems group by DestinationNumber");
  state.counters["requests"] = requests;
  state.counters["sent_twice"] = static_cast<double>(sent.Twice(requests));
  state.counters["lost"] = static_cast<double>(sent.Lost(requests));
}

void BM_RandomKillsWithGammuSmsd(benchmark::State& state) {
  if (test_support::FindGammuSmsd().empty()) {
    state.SkipWithError(test_support::kNoGammuSmsd);
    return;
  }
  const int kills = static_cast<int>(state.range(0));
  for (auto _ : state) {
    SimDemo demo(SimDemo::Outbox::kGammu);
    const auto exe = demo.InstallAgent("catalog");
    Daemon daemon(demo);
    std::mt19937 random(std::random_device{}());
    int requests = 20;
    demo.AddRequests(1, requests);
    for (int kill = 0; kill < kills; ++kill) {
      demo.AddRequests(requests + 1, requests + 2);  // members keep asking
      requests += 2;
      auto agent = demo.Start(exe, "agent");
      // From the start-up to the end of a short backlog.
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 400));
      agent->Stop(SIGKILL);
    }
    auto agent = demo.Start(exe, "agent");
    if (!WaitUntil([&] { return demo.Answered() == requests; }, std::chrono::minutes(2))) {
      state.SkipWithError("requests left unanswered");
    }
    CountDeliveries(state, demo, requests);
    agent->Stop(SIGTERM);
    state.counters["kills"] = kills;
  }
}
BENCHMARK(BM_RandomKillsWithGammuSmsd)->Arg(100)->Iterations(1)->Unit(benchmark::kSecond);

void BM_WorstMomentKills(benchmark::State& state) {
  if (test_support::FindGammuSmsd().empty()) {
    state.SkipWithError(test_support::kNoGammuSmsd);
    return;
  }
  const int wanted = static_cast<int>(state.range(0));
  for (auto _ : state) {
    SimDemo demo(SimDemo::Outbox::kGammu);
    const auto exe = demo.InstallAgent("catalog");
    Daemon daemon(demo);
    auto agent = demo.Start(exe, "agent");
    int requests = 0, worst = 0;
    const auto catalog = [&](const std::string& sql) {
      return SimDemo::Count(demo.catalog(), sql);
    };
    const auto outbox = [&](const std::string& sql) { return SimDemo::Count(demo.outbox(), sql); };
    while (worst < wanted && requests < 10 * wanted) {
      ++requests;
      demo.AddRequests(requests, requests);
      if (!sms_test::FreezeAfterQueuingBeforeMarking(*agent, 1000 + requests, catalog, outbox,
                                                     demo.outbox())) {
        continue;
      }
      WaitUntil(
          [&] {
            return outbox("Select count(*) from sentitems where DestinationNumber='" +
                          SimDemo::Mobile(requests) + "'") > 0;
          },
          std::chrono::seconds(30));
      agent->Stop(SIGKILL);
      ++worst;
      agent = demo.Start(exe, "agent");
    }
    if (!WaitUntil([&] { return demo.Answered() == requests; }, std::chrono::minutes(2))) {
      state.SkipWithError("requests left unanswered");
    }
    CountDeliveries(state, demo, requests);
    agent->Stop(SIGTERM);
    state.counters["worst_moment_kills"] = worst;
  }
}
BENCHMARK(BM_WorstMomentKills)->Arg(20)->Iterations(1)->Unit(benchmark::kSecond);

void BM_LockReleaseToFirstReply(benchmark::State& state) {
  for (auto _ : state) {
    SimDemo demo(SimDemo::Outbox::kSendTable);
    const auto exe = demo.InstallAgent("catalog");
    demo.AddRequests(1, 1);
    auto writer = data::OpenSqliteFile(demo.catalog(), false);
    writer->BeginTransaction();
    writer->Execute("Update OtherSetting set p1=p1");
    auto agent = demo.Start(exe, "agent");
    std::this_thread::sleep_for(std::chrono::seconds(20));
    writer->Commit();
    const auto released = Clock::now();
    if (!WaitUntil([&] { return demo.Answered() >= 1; }, std::chrono::minutes(2))) {
      state.SkipWithError("no reply after the lock was released");
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - released).count());
    agent->Stop(SIGTERM);
  }
}
BENCHMARK(BM_LockReleaseToFirstReply)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
