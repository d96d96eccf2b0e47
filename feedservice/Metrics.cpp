// Counters, histograms and their Prometheus text.
#include "feedservice/Metrics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "feedservice/live/LiveFeeds.h"

namespace {

std::string FormatValue(double value) {
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  if (std::isnan(value)) return "NaN";
  char text[32];
  // Whole numbers as such (counts), others with enough digits to read back.
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.9g", value);
  }
  return text;
}

void AppendEscaped(std::string* out, std::string_view value) {
  for (char c : value) {
    if (c == '\\') {
      *out += "\\\\";
    } else if (c == '"') {
      *out += "\\\"";
    } else if (c == '\n') {
      *out += "\\n";
    } else {
      *out += c;
    }
  }
}

}  // namespace

void MetricsText::Family(std::string_view name, std::string_view type, std::string_view help) {
  text_ += "# HELP ";
  text_ += name;
  text_ += ' ';
  // HELP text escapes only backslash and line feed.
  for (char c : help) {
    if (c == '\\') {
      text_ += "\\\\";
    } else if (c == '\n') {
      text_ += "\\n";
    } else {
      text_ += c;
    }
  }
  text_ += "\n# TYPE ";
  text_ += name;
  text_ += ' ';
  text_ += type;
  text_ += '\n';
}

void MetricsText::Sample(std::string_view name, const MetricLabels& labels, double value) {
  text_ += name;
  if (!labels.empty()) {
    text_ += '{';
    for (size_t i = 0; i < labels.size(); ++i) {
      if (i > 0) text_ += ',';
      text_ += labels[i].first;
      text_ += "=\"";
      AppendEscaped(&text_, labels[i].second);
      text_ += '"';
    }
    text_ += '}';
  }
  text_ += ' ';
  text_ += FormatValue(value);
  text_ += '\n';
}

void MetricsRegistry::DeclareCounter(const std::string& name, const std::string& help) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Find(name) == nullptr) families_.push_back({name, help, false, {}, {}});
}

void MetricsRegistry::DeclareHistogram(const std::string& name, const std::string& help,
                                       std::vector<double> bounds) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Find(name) == nullptr) families_.push_back({name, help, true, std::move(bounds), {}});
}

MetricsRegistry::Family* MetricsRegistry::Find(const std::string& name) {
  for (Family& f : families_) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

void MetricsRegistry::Add(const std::string& name, const MetricLabels& labels, double delta) {
  std::lock_guard<std::mutex> lock(mutex_);
  Family* family = Find(name);
  if (family == nullptr || family->histogram || !(delta >= 0)) return;
  family->series[labels].sum += delta;
}

void MetricsRegistry::Observe(const std::string& name, const MetricLabels& labels, double value) {
  std::lock_guard<std::mutex> lock(mutex_);
  Family* family = Find(name);
  if (family == nullptr || !family->histogram || std::isnan(value)) return;
  Series& series = family->series[labels];
  series.buckets.resize(family->bounds.size());
  for (size_t i = 0; i < family->bounds.size(); ++i) {
    if (value <= family->bounds[i]) {
      ++series.buckets[i];
      break;
    }
  }
  ++series.count;
  series.sum += value;
}

void MetricsRegistry::Render(MetricsText* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Family& f : families_) {
    out->Family(f.name, f.histogram ? "histogram" : "counter", f.help);
    for (const auto& [labels, series] : f.series) {
      if (!f.histogram) {
        out->Sample(f.name, labels, series.sum);
        continue;
      }
      MetricLabels withLe = labels;
      withLe.emplace_back("le", "");
      uint64_t cumulative = 0;
      for (size_t i = 0; i < f.bounds.size(); ++i) {
        cumulative += series.buckets[i];
        withLe.back().second = FormatValue(f.bounds[i]);
        out->Sample(f.name + "_bucket", withLe, static_cast<double>(cumulative));
      }
      withLe.back().second = "+Inf";
      out->Sample(f.name + "_bucket", withLe, static_cast<double>(series.count));
      out->Sample(f.name + "_sum", labels, series.sum);
      out->Sample(f.name + "_count", labels, static_cast<double>(series.count));
    }
  }
}

const char* MetricsRouteOf(std::string_view path) {
  const size_t query = path.find('?');
  if (query != std::string_view::npos) path = path.substr(0, query);
  if (path == "/cgi-local/page") return "page";
  if (path == "/") return "status";
  if (path == "/metrics") return "metrics";
  if (path == "/health") return "health";
  if (path == "/health/sources") return "health_sources";
  return "other";
}

namespace {

constexpr const char* kRequests = "feedservice_http_requests_total";
constexpr const char* kDuration = "feedservice_http_request_duration_seconds";
constexpr const char* kPages = "feedservice_pages_served_total";

}  // namespace

ServiceMetrics::ServiceMetrics() {
  registry_.DeclareCounter(kRequests, "HTTP requests answered, by route and status.");
  registry_.DeclareHistogram(
      kDuration, "Time from routing a request to its answer, by route.",
      {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 1});
  registry_.DeclareCounter(kPages,
                           "Category pages answered (200 or 304), by origin: overlay file, "
                           "bundled sample or live sources.");
}

void ServiceMetrics::Request(std::string_view route, int status, double seconds) {
  registry_.Add(kRequests, {{"route", std::string(route)}, {"status", std::to_string(status)}});
  if (seconds >= 0) registry_.Observe(kDuration, {{"route", std::string(route)}}, seconds);
}

void ServiceMetrics::Page(std::string_view origin) {
  registry_.Add(kPages, {{"origin", std::string(origin)}});
}

std::string ServiceMetrics::Render(const std::vector<SourceStatus>* sources,
                                   const MetricsRegistry* fetches) const {
  MetricsText out;
  registry_.Render(&out);
  if (fetches != nullptr) fetches->Render(&out);
  if (sources == nullptr) return out.text();
  const auto labels = [](const SourceStatus& s) {
    return MetricLabels{{"category", s.category}, {"url", s.url}};
  };
  out.Family("feedservice_source_fetches_total", "counter",
             "Fetches of a live source finished, by outcome (ok, not_modified, error).");
  for (const SourceStatus& s : *sources) {
    const std::pair<const char*, int64_t> outcomes[] = {
        {"ok", s.fetchedOk}, {"not_modified", s.fetchedNotModified}, {"error", s.fetchedError}};
    for (const auto& [outcome, count] : outcomes) {
      MetricLabels l = labels(s);
      l.emplace_back("outcome", outcome);
      out.Sample("feedservice_source_fetches_total", l, static_cast<double>(count));
    }
  }
  out.Family("feedservice_source_last_success_timestamp_seconds", "gauge",
             "When a live source was last fetched successfully (seconds since 1970; 0: never).");
  for (const SourceStatus& s : *sources) {
    out.Sample("feedservice_source_last_success_timestamp_seconds", labels(s),
               static_cast<double>(s.lastSuccess));
  }
  out.Family("feedservice_source_items", "gauge",
             "Items held from a live source's last good fetch.");
  for (const SourceStatus& s : *sources) {
    out.Sample("feedservice_source_items", labels(s), static_cast<double>(s.items));
  }
  out.Family("feedservice_source_fetched_bytes_total", "counter",
             "Body bytes received from a live source.");
  for (const SourceStatus& s : *sources) {
    out.Sample("feedservice_source_fetched_bytes_total", labels(s),
               static_cast<double>(s.bytesFetched));
  }
  out.Family("feedservice_source_next_due_timestamp_seconds", "gauge",
             "When a live source is asked next (seconds since 1970).");
  for (const SourceStatus& s : *sources) {
    out.Sample("feedservice_source_next_due_timestamp_seconds", labels(s),
               static_cast<double>(s.nextDue));
  }
  out.Family("feedservice_source_gone", "gauge",
             "1 for a live source that answered 410 Gone, else 0.");
  for (const SourceStatus& s : *sources) {
    out.Sample("feedservice_source_gone", labels(s), s.status == "gone" ? 1 : 0);
  }
  out.Family("feedservice_source_newest_item_age_seconds", "gauge",
             "Age of the newest item a live source holds (sources with items only): a feed that "
             "answers but has stopped publishing.");
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  for (const SourceStatus& s : *sources) {
    if (s.newestItem == 0) continue;
    out.Sample("feedservice_source_newest_item_age_seconds", labels(s),
               static_cast<double>(std::max<int64_t>(0, now - s.newestItem)));
  }
  // Overdue by more than one interval: the fetchers are falling behind.
  size_t overdue = 0;
  for (const SourceStatus& s : *sources) overdue += now - s.nextDue > s.interval ? 1 : 0;
  out.Family("feedservice_sources_overdue", "gauge",
             "Live sources whose fetch is overdue by more than their interval.");
  out.Sample("feedservice_sources_overdue", {}, static_cast<double>(overdue));
  return out.text();
}
