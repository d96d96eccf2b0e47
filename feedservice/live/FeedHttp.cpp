// Feed downloads with libcurl.
#include "feedservice/live/FeedHttp.h"

#include <curl/curl.h>

#include <mutex>

#include "feedservice/text/Ascii.h"

namespace {

struct Transfer {
  std::string* body;
  size_t maxBytes;
  bool overflow = false;
  HttpFetchResult* result;
  const std::atomic<bool>* abort;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (t->body->size() + bytes > t->maxBytes) {
    t->overflow = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  t->body->append(data, bytes);
  return bytes;
}

bool HeaderIs(const std::string& line, const char* name, std::string* value) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  if (!EqualsNoCase(std::string_view(line).substr(0, colon), name)) return false;
  *value = std::string(TrimAscii(std::string_view(line).substr(colon + 1), " \t\r\n"));
  return true;
}

std::string CharsetOf(const std::string& contentType) {
  const std::string lower = AsciiLowerCase(contentType);
  const size_t pos = lower.find("charset=");
  if (pos == std::string::npos) return {};
  std::string value = lower.substr(pos + 8);
  value = value.substr(0, value.find_first_of("; \t"));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  Transfer* t = static_cast<Transfer*>(user);
  const std::string line(data, size * count);
  std::string value;
  if (line.compare(0, 5, "HTTP/") == 0) {
    // A new response (after a redirect): forget the previous one's fields.
    t->result->etag.clear();
    t->result->lastModified.clear();
    t->result->charset.clear();
  } else if (HeaderIs(line, "etag", &value)) {
    t->result->etag = value;
  } else if (HeaderIs(line, "last-modified", &value)) {
    t->result->lastModified = value;
  } else if (HeaderIs(line, "content-type", &value)) {
    t->result->charset = CharsetOf(value);
  }
  return size * count;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const Transfer* t = static_cast<const Transfer*>(user);
  return t->abort != nullptr && t->abort->load() ? 1 : 0;
}

}  // namespace

void InitHttpFetch() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpFetchResult HttpFetch(const std::string& url, const std::string& etag,
                          const std::string& lastModified, const HttpFetchLimits& limits,
                          const std::atomic<bool>* abort) {
  InitHttpFetch();
  HttpFetchResult result;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    result.error = "cannot start a transfer";
    return result;
  }
  Transfer transfer{&result.body, limits.maxBytes, false, &result, abort};
  char errorText[CURL_ERROR_SIZE] = "";
  curl_slist* headers = nullptr;
  if (!etag.empty()) headers = curl_slist_append(headers, ("If-None-Match: " + etag).c_str());
  if (!lastModified.empty()) {
    headers = curl_slist_append(headers, ("If-Modified-Since: " + lastModified).c_str());
  }
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(limits.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // every encoding curl can decode
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "feedservice/1.0");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);

  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);

  if (transfer.overflow || code == CURLE_FILESIZE_EXCEEDED) {
    result.error = "feed larger than " + std::to_string(limits.maxBytes) + " bytes; cut off";
  } else if (code == CURLE_ABORTED_BY_CALLBACK) {
    result.error = "cancelled";
  } else if (code != CURLE_OK) {
    result.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
  } else if (status == 304) {
    result.kind = HttpFetchResult::kNotModified;
  } else if (status >= 200 && status < 300) {
    result.kind = HttpFetchResult::kOk;
  } else {
    result.error = "HTTP status " + std::to_string(status);
  }
  if (result.kind == HttpFetchResult::kError) result.body.clear();
  return result;
}
