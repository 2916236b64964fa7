// summarize_benchmarks: the one table that ends `./build.sh bench`.
//
//   summarize_benchmarks GOALS RESULTS_DIR
//
// GOALS is a text file (bench/goals.txt) with one row per hot path:
//
//   hot path | ours | peer | metric | goal
//
// where ours and peer name a benchmark run as program:run name
// ("bench_strings:BM_CStrToVariant/100000"), metric is cpu_time, real_time
// or a counter of the runs, and goal is "within N" (our cost is at most N
// times the peer's) or "Nx faster" (at most 1/N of it). A counter whose
// name ends in "per_second" or "/s" is a rate: higher is better, and the
// cost is its inverse. Blank lines and lines starting with "#" are skipped.
//
// RESULTS_DIR holds PROGRAM.json for each program that ran, written by
// --benchmark_out with repetitions; each side of a row is the median of
// its repetitions. A row whose program or run is missing is listed as not
// run, with the reason. The exit status is 0 unless the goals or a results
// file cannot be read: the table reports, it does not judge the build.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using nlohmann::json;

struct Goal {
  std::string hot_path, ours, peer, metric, goal_text;
  double max_ratio = 0;  // the largest cost ratio that meets the goal
};

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '|')) fields.push_back(Trim(field));
  return fields;
}

// "within 2" gives 2; "3x faster" gives 1/3; anything else is an error.
std::optional<double> MaxRatio(const std::string& goal) {
  double n = 0;
  char rest[16] = {};
  if (std::sscanf(goal.c_str(), "within %lf%15s", &n, rest) == 1 && n > 0)
    return n;
  if (std::sscanf(goal.c_str(), "%lfx faster%15s", &n, rest) == 1 && n > 0)
    return 1 / n;
  return std::nullopt;
}

bool ReadGoals(const std::string& path, std::vector<Goal>* goals) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << path << ": cannot be read\n";
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const std::vector<std::string> f = SplitFields(trimmed);
    const std::optional<double> max_ratio =
        f.size() == 5 ? MaxRatio(f[4]) : std::nullopt;
    if (!max_ratio) {
      std::cerr << path << ":" << number
                << ": expected «hot path | ours | peer | metric | within N "
                   "or Nx faster»\n";
      return false;
    }
    goals->push_back(Goal{f[0], f[1], f[2], f[3], f[4], *max_ratio});
  }
  return true;
}

// Median aggregates of one program's results, by run name.
using Medians = std::map<std::string, json>;

class Results {
 public:
  explicit Results(std::string dir) : dir_(std::move(dir)) {}

  // The median of `program:run`, or null with `*why` set.
  const json* Find(const std::string& id, std::string* why) {
    const size_t colon = id.find(':');
    if (colon == std::string::npos) {
      *why = "bad name " + id;
      return nullptr;
    }
    const std::string program = id.substr(0, colon);
    const Medians* medians = Load(program);
    if (!medians) {
      *why = program + " did not run";
      return nullptr;
    }
    const auto it = medians->find(id.substr(colon + 1));
    if (it == medians->end()) {
      *why = "no " + id.substr(colon + 1);
      return nullptr;
    }
    return &it->second;
  }

 private:
  const Medians* Load(const std::string& program) {
    auto [it, fresh] = programs_.try_emplace(program);
    if (fresh) {
      std::ifstream in(dir_ + "/" + program + ".json");
      if (in) {
        const json doc = json::parse(in, nullptr, /*allow_exceptions=*/false);
        Medians medians;
        const json runs =
            doc.is_object() ? doc.value("benchmarks", json::array()) : json();
        for (const json& run : runs) {
          if (!run.is_object()) continue;
          if (run.value("aggregate_name", "") == "median" &&
              run.value("error_occurred", false) == false)
            medians[run.value("run_name", "")] = run;
        }
        if (!medians.empty()) it->second = std::move(medians);
      }
    }
    return it->second ? &*it->second : nullptr;
  }

  std::string dir_;
  std::map<std::string, std::optional<Medians>> programs_;
};

double NanosecondsPerUnit(const std::string& unit) {
  if (unit == "us") return 1e3;
  if (unit == "ms") return 1e6;
  if (unit == "s") return 1e9;
  return 1;
}

bool IsRate(const std::string& metric) {
  return metric.ends_with("per_second") || metric.ends_with("/s");
}

// The run's cost under `metric`: nanoseconds for a time, the inverse of a
// rate, the counter itself otherwise. Null when the run lacks the metric.
std::optional<double> Cost(const json& run, const std::string& metric) {
  if (!run.contains(metric) || !run[metric].is_number()) return std::nullopt;
  double value = run[metric].get<double>();
  if (metric == "cpu_time" || metric == "real_time")
    return value * NanosecondsPerUnit(run.value("time_unit", "ns"));
  if (IsRate(metric))
    return value > 0 ? std::optional(1 / value) : std::nullopt;
  return value;
}

// A median as people read it: a time with its unit, or a rate.
std::string Shown(const json& run, const std::string& metric) {
  char text[64];
  const double value = run[metric].get<double>();
  if (metric == "cpu_time" || metric == "real_time") {
    double shown = value * NanosecondsPerUnit(run.value("time_unit", "ns"));
    const char* unit = "ns";
    for (const char* u : {"us", "ms", "s"}) {
      if (shown < 1000) break;
      shown /= 1000;
      unit = u;
    }
    std::snprintf(text, sizeof text, "%.4g %s", shown, unit);
  } else if (IsRate(metric)) {
    const char* prefix = "";
    double shown = value;
    for (const char* p : {"k", "M", "G"}) {
      if (shown < 1000) break;
      shown /= 1000;
      prefix = p;
    }
    std::snprintf(text, sizeof text, "%.4g%s/s", shown, prefix);
  } else {
    std::snprintf(text, sizeof text, "%.4g", value);
  }
  return text;
}

std::string RunName(const std::string& id) {
  const size_t colon = id.find(':');
  return colon == std::string::npos ? id : id.substr(colon + 1);
}

void PrintTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t i = 0; i < row.size(); ++i)
      widths[i] = std::max(widths[i], row[i].size());
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    std::string line;
    for (size_t i = 0; i < rows[r].size(); ++i) {
      std::string cell = rows[r][i];
      cell.resize(widths[i], ' ');
      line += (i ? " | " : "") + cell;
    }
    std::cout << Trim(line) << "\n";
    if (r == 0) {
      std::string rule;
      for (size_t i = 0; i < widths.size(); ++i)
        rule += (i ? "-+-" : "") + std::string(widths[i], '-');
      std::cout << rule << "\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: summarize_benchmarks GOALS RESULTS_DIR\n";
    return 2;
  }
  std::vector<Goal> goals;
  if (!ReadGoals(argv[1], &goals)) return 1;
  Results results(argv[2]);

  std::vector<std::vector<std::string>> rows = {
      {"hot path", "ours", "peer", "ratio", "goal", "status"}};
  int met = 0, measured = 0;
  for (const Goal& g : goals) {
    std::string why;
    const json* ours = results.Find(g.ours, &why);
    const json* peer = ours ? results.Find(g.peer, &why) : nullptr;
    std::optional<double> our_cost, peer_cost;
    if (peer) {
      our_cost = Cost(*ours, g.metric);
      peer_cost = Cost(*peer, g.metric);
      if (!our_cost || !peer_cost || *peer_cost <= 0)
        why = "no " + g.metric + " to compare";
    }
    if (!our_cost || !peer_cost || *peer_cost <= 0) {
      rows.push_back({g.hot_path, RunName(g.ours), RunName(g.peer), "-",
                      g.goal_text, "not run: " + why});
      continue;
    }
    const double ratio = *our_cost / *peer_cost;
    const bool ok = ratio <= g.max_ratio;
    ++measured;
    met += ok;
    char ratio_text[32];
    std::snprintf(ratio_text, sizeof ratio_text, "%.2fx", ratio);
    rows.push_back({g.hot_path, Shown(*ours, g.metric), Shown(*peer, g.metric),
                    ratio_text, g.goal_text, ok ? "met" : "NOT met"});
  }
  PrintTable(rows);
  std::cout << "\n"
            << met << " of " << goals.size() << " goals met (" << measured
            << " measured). Ratio: our cost / the peer's cost, medians.\n";
  return 0;
}
