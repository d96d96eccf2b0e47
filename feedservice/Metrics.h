// A small metrics registry (counters and histograms with labels) and the
// Prometheus text format it is read in. Thread-safe; no server library here.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using MetricLabels = std::vector<std::pair<std::string, std::string>>;

// Writes the text exposition format: one HELP and TYPE block per family, then
// its samples. Label values are escaped (backslash, double quote, line feed).
class MetricsText {
 public:
  void Family(std::string_view name, std::string_view type, std::string_view help);
  void Sample(std::string_view name, const MetricLabels& labels, double value);
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

class MetricsRegistry {
 public:
  // Families are declared once, before use; samples of an undeclared family
  // are dropped.
  void DeclareCounter(const std::string& name, const std::string& help);
  void DeclareHistogram(const std::string& name, const std::string& help,
                        std::vector<double> bounds);

  void Add(const std::string& name, const MetricLabels& labels, double delta = 1);
  void Observe(const std::string& name, const MetricLabels& labels, double value);

  // Every declared family, in the order declared; a family without samples
  // shows only its HELP and TYPE lines.
  void Render(MetricsText* out) const;

 private:
  struct Series {
    std::vector<uint64_t> buckets;  // histograms: per bound, not cumulative
    uint64_t count = 0;
    double sum = 0;  // counters: the value
  };
  struct Family {
    std::string name;
    std::string help;
    bool histogram = false;
    std::vector<double> bounds;
    std::map<MetricLabels, Series> series;
  };
  Family* Find(const std::string& name);

  mutable std::mutex mutex_;
  std::vector<Family> families_;
};

struct SourceStatus;

// The route label of a request path; a fixed few, so clients cannot make the
// label set grow.
const char* MetricsRouteOf(std::string_view path);

// The feed service's metrics: requests by route and status, their durations,
// pages by origin ("overlay", "sample", "live"), and per live source its
// fetches by outcome, last success, items held, bytes fetched, next due time,
// whether it is gone and the age of its newest item; the sources overdue.
class ServiceMetrics {
 public:
  ServiceMetrics();
  // seconds < 0: the duration is unknown (the request failed before routing).
  void Request(std::string_view route, int status, double seconds);
  void Page(std::string_view origin);
  // The exposition text; sources null when the service has no live sources;
  // fetches, when given, holds the live fetchers' own families.
  std::string Render(const std::vector<SourceStatus>* sources,
                     const MetricsRegistry* fetches = nullptr) const;

 private:
  MetricsRegistry registry_;
};
