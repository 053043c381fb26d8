// Several agents on one catalog, each with its own SIM outbox (the demo catalog):
// - BM_TwoAgentsOneCatalog: a backlog of 22 SIM requests and 18 arriving one every 0.3 s,
//   both agents running: requests queued twice and lost, over the runs.
// - BM_TakeoverAfterKill / BM_TakeoverAfterFreeze: the working agent killed (its process gone
//   from the machine) or frozen (SIGSTOP, as a suspended laptop): the time until the other
//   has answered a request that came right after.
// - BM_StandbyTick: one tick of an agent that stands by, in process (CPU).
// - BM_WorkingTickAlone / BM_WorkingTickBesideStandby: one idle tick of the working agent,
//   alone and with a standby ticking beside it: what a second agent costs the first.

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bench/sim_demo.h"
#include "host/agent_state.h"
#include "host/service_form.h"

namespace {

using bench_support::SimDemo;
using bench_support::WaitUntil;
using Clock = std::chrono::steady_clock;

// Two program folders, each with its own outbox, on one demo catalog.
struct TwoAgents {
  TwoAgents() {
    demo.OutboxPerAgent();
    first_exe = demo.InstallAgent("first", true);
    second_exe = demo.InstallAgent("second", true);
  }
  void Start() {
    first = demo.Start(first_exe, "first");
    second = demo.Start(second_exe, "second");
  }
  // The agent whose process holds the catalog's work.
  host_test::AgentProcess* Worker() {
    const std::int64_t pid =
        SimDemo::Count(demo.catalog(), "Select Pid from MAV_Lease where Name='Catalog'");
    return pid == first->pid() ? first.get() : pid == second->pid() ? second.get() : nullptr;
  }
  void Count(bench_support::Deliveries& queued) {
    for (const char* name : {"first", "second"}) {
      queued.Add(demo.dir() / name / "SMSData.mdb",
                 "Select Mobile,count(*) from Send group by Mobile");
    }
  }

  SimDemo demo{SimDemo::Outbox::kSendTable};
  std::filesystem::path first_exe, second_exe;
  std::unique_ptr<host_test::AgentProcess> first, second;
};

void BM_TwoAgentsOneCatalog(benchmark::State& state) {
  std::int64_t twice = 0, lost = 0, requests_all = 0;
  for (auto _ : state) {
    TwoAgents agents;
    int requests = 22;
    agents.demo.AddRequests(1, requests);
    agents.Start();
    for (; requests < 40; ++requests) {
      agents.demo.AddRequests(requests + 1, requests + 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    if (!WaitUntil([&] { return agents.demo.Answered() == requests; }, std::chrono::minutes(1))) {
      state.SkipWithError("requests left unanswered");
    }
    agents.first->Stop(SIGTERM);
    agents.second->Stop(SIGTERM);
    bench_support::Deliveries queued;
    agents.Count(queued);
    twice += queued.Twice(requests);
    lost += queued.Lost(requests);
    requests_all += requests;
  }
  state.counters["requests"] = static_cast<double>(requests_all);
  state.counters["queued_twice"] = static_cast<double>(twice);
  state.counters["lost"] = static_cast<double>(lost);
}
BENCHMARK(BM_TwoAgentsOneCatalog)->Iterations(5)->Unit(benchmark::kSecond);

// The time from the worker's kill (or freeze) to the answer of a request that came then.
void Takeover(benchmark::State& state, int signal) {
  for (auto _ : state) {
    TwoAgents agents;
    agents.demo.AddRequests(1, 5);
    agents.Start();
    if (!WaitUntil([&] { return agents.demo.Answered() == 5 && agents.Worker() != nullptr; },
                   std::chrono::minutes(1))) {
      state.SkipWithError("nothing answered");
      break;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));  // both settled in their roles
    host_test::AgentProcess* worker = agents.Worker();
    kill(worker->pid(), signal);
    const auto stopped = Clock::now();
    agents.demo.AddRequests(6, 6);
    if (!WaitUntil([&] { return agents.demo.Answered() == 6; }, std::chrono::minutes(2))) {
      host_test::AgentProcess* other =
          worker == agents.first.get() ? agents.second.get() : agents.first.get();
      state.SkipWithError(("not taken over: " + other->Out() + other->Err()).c_str());
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - stopped).count());
    kill(worker->pid(), SIGKILL);
  }
}
void BM_TakeoverAfterKill(benchmark::State& state) { Takeover(state, SIGKILL); }
void BM_TakeoverAfterFreeze(benchmark::State& state) { Takeover(state, SIGSTOP); }
BENCHMARK(BM_TakeoverAfterKill)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TakeoverAfterFreeze)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

// An agent in this process, as if run on its own: its own program folder and process number.
struct InProcessAgent {
  InProcessAgent(SimDemo& demo, const std::string& name, std::int64_t pid) {
    demo.InstallAgent(name, true);
    state.env.program_folder = demo.dir() / name;
    state.env.online = [] { return true; };
    state.env.host_name = "bench";
    state.env.process_id = pid;
    state.env.process_alive = [](std::int64_t) { return true; };
    form = std::make_unique<host::ServiceForm>(state, log);
    form->Form_Load();
  }
  std::ostringstream log;
  host::AgentState state;
  std::unique_ptr<host::ServiceForm> form;
};

struct InProcessPair {
  InProcessPair() {
    demo.OutboxPerAgent();
    for (int i = 0; i < 20; ++i) first.form->Timer1_Timer();  // takes the work, the backlog
    for (int i = 0; i < 3; ++i) second.form->Timer1_Timer();
  }
  SimDemo demo{SimDemo::Outbox::kSendTable};
  InProcessAgent first{demo, "first", 1};
  InProcessAgent second{demo, "second", 2};
};

void BM_StandbyTick(benchmark::State& state) {
  InProcessPair pair;
  for (auto _ : state) pair.second.form->Timer1_Timer();
  state.SetLabel(pair.second.form->LblDatbase());
}
BENCHMARK(BM_StandbyTick)->MinTime(5.0)->Unit(benchmark::kMicrosecond);

void BM_WorkingTickAlone(benchmark::State& state) {
  InProcessPair pair;
  for (auto _ : state) pair.first.form->Timer1_Timer();
  state.SetLabel(pair.first.form->LblDatbase());
}
BENCHMARK(BM_WorkingTickAlone)->MinTime(5.0)->Unit(benchmark::kMicrosecond);

void BM_WorkingTickBesideStandby(benchmark::State& state) {
  InProcessPair pair;
  for (auto _ : state) {
    pair.first.form->Timer1_Timer();
    state.PauseTiming();
    pair.second.form->Timer1_Timer();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_WorkingTickBesideStandby)->MinTime(5.0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
