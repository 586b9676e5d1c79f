#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace tesselwick {

// An immutable text that copies share. Fields of a site list pass on from
// record to record, so a long value may stand in thousands of records; each
// of them points at the one copy instead of holding its own.
class SharedText {
 public:
  SharedText() = default;
  SharedText(std::string text)  // NOLINT(google-explicit-constructor): used like a string
      : text_(text.empty() ? nullptr : std::make_shared<const std::string>(std::move(text))) {}
  SharedText(const char* text) : SharedText(std::string(text)) {}       // NOLINT
  SharedText(std::string_view text) : SharedText(std::string(text)) {}  // NOLINT

  const std::string& str() const { return text_ ? *text_ : Empty(); }
  operator const std::string&() const { return str(); }  // NOLINT
  operator std::string_view() const { return str(); }    // NOLINT

  bool empty() const { return str().empty(); }
  std::size_t size() const { return str().size(); }
  const char* c_str() const { return str().c_str(); }
  void clear() { text_.reset(); }

  friend bool operator==(const SharedText& a, const SharedText& b) { return a.str() == b.str(); }
  friend bool operator==(const SharedText& a, const std::string& b) { return a.str() == b; }
  friend bool operator==(const SharedText& a, std::string_view b) { return a.str() == b; }
  friend bool operator==(const SharedText& a, const char* b) { return a.str() == b; }
  friend std::ostream& operator<<(std::ostream& out, const SharedText& text) {
    return out << text.str();
  }

 private:
  static const std::string& Empty() {
    static const std::string empty;
    return empty;
  }
  std::shared_ptr<const std::string> text_;
};

// One download site of the site list.
struct SiteRecord {
  SharedText Title;
  SharedText Url;
  SharedText SubmitUrl;
  // The URL requested for the site, with "%PADURL%" and "%CATEGORY%" in it.
  SharedText RequestTemplate;

  bool operator==(const SiteRecord&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const SiteRecord& site) {
    return out << "{" << site.Title << " | " << site.Url << " | " << site.SubmitUrl << " | "
               << site.RequestTemplate << "}";
  }
};

}  // namespace tesselwick
