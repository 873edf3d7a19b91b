// Reading XML parts out of a zip package (libzip + expat), for the .xlsx and .ods readers.
//
// Nothing is extracted to disk. Every part is inflated in chunks; its size is checked
// against its limit before (the size the zip directory states) and while it is inflated
// (the bytes that come out), so a small file cannot make a reader inflate more than the
// limits allow. The XML parser's memory and nesting depth are bounded too, so no element,
// however long or deep, can make it hold more.
#pragma once

#include <expat.h>
#include <zip.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/workbook.h"

namespace qx::detail {

inline constexpr char kNsSeparator = '|';
inline constexpr std::size_t kChunk = 64 * 1024;

// Element and attribute names as expat reports them with namespace processing:
// "namespace|local", or "local" alone.
struct Name {
  std::string_view ns, local;
};

inline Name SplitName(const XML_Char* raw) {
  const std::string_view s(raw);
  const std::size_t p = s.rfind(kNsSeparator);
  if (p == std::string_view::npos) return {{}, s};
  return {s.substr(0, p), s.substr(p + 1)};
}

inline bool NoNamespace(std::string_view ns) { return ns.empty(); }

// The value of the attribute with this local name whose namespace `ns_ok` accepts.
inline const char* Attr(const XML_Char** atts, std::string_view local, bool (*ns_ok)(std::string_view) = NoNamespace) {
  for (; *atts; atts += 2) {
    const Name n = SplitName(atts[0]);
    if (n.local == local && ns_ok(n.ns)) return atts[1];
  }
  return nullptr;
}

// An unsigned number, blanks around it allowed.
template <typename T>
bool ParseUnsigned(std::string_view s, T& out) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

inline WorkbookError FromZipError(int code) {
  switch (code) {
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
      return WorkbookError::kProtected;
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_COMPNOTSUPP:
      return WorkbookError::kUnsupported;
    case ZIP_ER_MEMORY:
      return WorkbookError::kTooLarge;
    case ZIP_ER_OPEN:
      return WorkbookError::kCannotRead;
    default:
      return WorkbookError::kDamaged;
  }
}

// One zip entry, inflated in chunks, refused past `cap` inflated bytes.
class Entry {
 public:
  Entry() = default;
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;
  ~Entry() {
    if (file_) zip_fclose(file_);
  }

  // `what` names the part for the message of its limit ("the worksheet").
  WorkbookError Open(zip_t* zip, zip_uint64_t index, std::uint64_t cap, std::string what) {
    cap_ = cap;
    what_ = std::move(what);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip, index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE) && st.size > cap_)
      return TooLarge();
    file_ = zip_fopen_index(zip, index, 0);
    if (!file_) return FromZipError(zip_error_code_zip(zip_get_error(zip)));
    return WorkbookError::kNone;
  }
  // The limit reached, after kTooLarge.
  const std::string& limit() const { return limit_; }

  // Bytes read into buf, 0 at the end of the entry, -1 on an error (then `error` says which).
  zip_int64_t Read(char* buf, std::size_t n, WorkbookError& error) {
    const zip_int64_t got = zip_fread(file_, buf, n);
    if (got < 0) {
      error = FromZipError(zip_error_code_zip(zip_file_get_error(file_)));
      return -1;
    }
    read_ += static_cast<std::uint64_t>(got);
    if (read_ > cap_) {
      error = TooLarge();
      return -1;
    }
    return got;
  }

 private:
  WorkbookError TooLarge() {
    limit_ = what_ + ": larger than " + SizeText(cap_) + " unpacked";
    return WorkbookError::kTooLarge;
  }

  zip_file_t* file_ = nullptr;
  std::uint64_t cap_ = 0;
  std::uint64_t read_ = 0;
  std::string what_, limit_;
};

// Receives the parser's events. A handler never throws; it records a failure and stops
// the parser instead.
class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  virtual void Start(Name, const XML_Char**) {}
  virtual void End(Name) {}
  virtual void Text(std::string_view) {}

  void Fail(WorkbookError e) {
    if (failure_ == WorkbookError::kNone) failure_ = e;
    XML_StopParser(parser_, XML_FALSE);
  }
  // Fails with kTooLarge, saying which limit was reached.
  void FailLimit(std::string what) {
    if (failure_ == WorkbookError::kNone) limit_ = std::move(what);
    Fail(WorkbookError::kTooLarge);
  }
  // Ends parsing without an error: the rest of the part is not needed.
  void Finish() {
    finished_ = true;
    XML_StopParser(parser_, XML_FALSE);
  }
  bool active() const { return failure_ == WorkbookError::kNone && !finished_; }

  XML_Parser parser_ = nullptr;
  WorkbookError failure_ = WorkbookError::kNone;
  std::string limit_;  // the limit reached, with kTooLarge
  bool finished_ = false;
  std::size_t depth_ = 0;
};

// The memory one XML parser may take. Expat allocates through the functions below, which
// count what each parser holds and refuse past its budget; a refused allocation makes the
// parse fail with "no memory", which the parser reports as the limit. Expat's allocation
// functions take no context, so the budget of the parser at work is set around each call
// into it, and every block records the budget it was counted against.
struct ParserBudget {
  std::uint64_t cap = 0, used = 0;
  bool exceeded = false;
};

inline thread_local ParserBudget* current_budget = nullptr;

struct alignas(std::max_align_t) BlockHeader {
  ParserBudget* budget;
  std::size_t size;
};

inline void* BudgetMalloc(std::size_t n) {
  ParserBudget* b = current_budget;
  if (b && n > b->cap - b->used) {
    b->exceeded = true;
    return nullptr;
  }
  auto* h = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + n));
  if (!h) return nullptr;
  *h = {b, n};
  if (b) b->used += n;
  return h + 1;
}

inline void BudgetFree(void* p) {
  if (!p) return;
  BlockHeader* h = static_cast<BlockHeader*>(p) - 1;
  if (h->budget) h->budget->used -= h->size;
  std::free(h);
}

inline void* BudgetRealloc(void* p, std::size_t n) {
  if (!p) return BudgetMalloc(n);
  BlockHeader* h = static_cast<BlockHeader*>(p) - 1;
  ParserBudget* b = h->budget;
  const std::size_t old = h->size;
  if (b && n > old && n - old > b->cap - b->used) {
    b->exceeded = true;
    return nullptr;
  }
  auto* moved = static_cast<BlockHeader*>(std::realloc(h, sizeof(BlockHeader) + n));
  if (!moved) return nullptr;
  moved->size = n;
  if (b) b->used = b->used - old + n;
  return moved + 1;
}

inline const XML_Memory_Handling_Suite kBudgetedMemory = {BudgetMalloc, BudgetRealloc, BudgetFree};

// Sets the budget counted while expat runs.
class BudgetScope {
 public:
  explicit BudgetScope(ParserBudget& b) : saved_(current_budget) { current_budget = &b; }
  ~BudgetScope() { current_budget = saved_; }
  BudgetScope(const BudgetScope&) = delete;
  BudgetScope& operator=(const BudgetScope&) = delete;

 private:
  ParserBudget* saved_;
};

class XmlParser {
 public:
  XmlParser(XmlHandler& h, const WorkbookLimits& limits) : h_(h), depth_limit_(limits.xml_depth) {
    budget_.cap = limits.xml_parser_bytes;
    BudgetScope scope(budget_);
    static constexpr XML_Char kSeparator[] = {kNsSeparator, 0};
    p_ = XML_ParserCreate_MM(nullptr, &kBudgetedMemory, kSeparator);
    if (!p_) {
      h.failure_ = WorkbookError::kTooLarge;
      h.limit_ = ParserLimitText();
      return;
    }
    h.parser_ = p_;
    XML_SetUserData(p_, this);
    XML_SetElementHandler(
        p_,
        [](void* u, const XML_Char* name, const XML_Char** atts) {
          auto* self = static_cast<XmlParser*>(u);
          XmlHandler& handler = self->h_;
          // Refused at the element that goes too deep, before the parser keeps more.
          if (++handler.depth_ > self->depth_limit_)
            return handler.FailLimit("XML elements nested more than " +
                                     std::to_string(self->depth_limit_) + " deep");
          if (handler.active()) handler.Start(SplitName(name), atts);
        },
        [](void* u, const XML_Char* name) {
          XmlHandler& handler = static_cast<XmlParser*>(u)->h_;
          --handler.depth_;
          if (handler.active()) handler.End(SplitName(name));
        });
    XML_SetCharacterDataHandler(p_, [](void* u, const XML_Char* s, int len) {
      XmlHandler& handler = static_cast<XmlParser*>(u)->h_;
      if (handler.active()) handler.Text(std::string_view(s, static_cast<std::size_t>(len)));
    });
    // No part of a workbook has a DTD. Refusing one outright means no entity is ever
    // declared, so no entity expansion can blow up.
    XML_SetStartDoctypeDeclHandler(p_, [](void* u, const XML_Char*, const XML_Char*, const XML_Char*, int) {
      static_cast<XmlParser*>(u)->h_.Fail(WorkbookError::kDamaged);
    });
  }
  XmlParser(const XmlParser&) = delete;
  XmlParser& operator=(const XmlParser&) = delete;
  ~XmlParser() {
    if (p_) XML_ParserFree(p_);
  }

  // False once the handler failed or finished, or the XML is not well-formed.
  bool Feed(const char* data, std::size_t n, bool final) {
    if (!h_.active()) return false;
    BudgetScope scope(budget_);
    if (XML_Parse(p_, data, static_cast<int>(n), final ? XML_TRUE : XML_FALSE) == XML_STATUS_ERROR &&
        h_.failure_ == WorkbookError::kNone && !h_.finished_) {
      if (budget_.exceeded) {
        h_.failure_ = WorkbookError::kTooLarge;
        h_.limit_ = ParserLimitText();
      } else {
        h_.failure_ = WorkbookError::kDamaged;
      }
    }
    return h_.active();
  }

 private:
  std::string ParserLimitText() const {
    return "XML that needs more than " + SizeText(budget_.cap) + " of memory to read";
  }

  ParserBudget budget_;  // outlives the parser, whose blocks point to it
  XmlHandler& h_;
  std::size_t depth_limit_;
  XML_Parser p_ = nullptr;
};

// Parses a whole part (`what`, for messages) through `h`; `limit` gets the limit reached
// when it fails with kTooLarge.
inline WorkbookError ParsePart(zip_t* zip, zip_int64_t index, std::uint64_t cap, const char* what,
                        const WorkbookLimits& limits, XmlHandler& h, std::string* limit) {
  Entry entry;
  auto done = [&](WorkbookError e, const std::string& why) {
    if (e == WorkbookError::kTooLarge && limit) *limit = why;
    return e;
  };
  if (WorkbookError e = entry.Open(zip, static_cast<zip_uint64_t>(index), cap, what); e != WorkbookError::kNone)
    return done(e, entry.limit());
  XmlParser parser(h, limits);
  std::vector<char> buf(kChunk);
  for (;;) {
    WorkbookError e = WorkbookError::kNone;
    const zip_int64_t n = entry.Read(buf.data(), buf.size(), e);
    if (n < 0) return done(e, entry.limit());
    if (!parser.Feed(buf.data(), static_cast<std::size_t>(n), n == 0) || n == 0)
      return done(h.failure_, std::string(what) + ": " + h.limit_);
  }
}

// A part parsed a chunk at a time, as far as its reader asks (a sheet read row by row).
// The handler's events come from Pump; the part and the package it is read from must
// outlive this.
class StreamedPart {
 public:
  StreamedPart(XmlHandler& handler, const WorkbookLimits& limits) : handler_(handler), parser_(handler, limits) {}
  StreamedPart(const StreamedPart&) = delete;
  StreamedPart& operator=(const StreamedPart&) = delete;

  // `what` names the part for the message of a limit ("the worksheet").
  WorkbookError Open(zip_t* zip, zip_int64_t index, std::uint64_t cap, std::string what) {
    what_ = what;
    return entry_.Open(zip, static_cast<zip_uint64_t>(index), cap, std::move(what));
  }

  // Inflates the next chunk and parses it: afterwards error() says whether it failed,
  // done() whether the part ended or the handler needs no more of it.
  void Pump() {
    buf_.resize(kChunk);
    WorkbookError e = WorkbookError::kNone;
    const zip_int64_t n = entry_.Read(buf_.data(), buf_.size(), e);
    if (n < 0) {
      error_ = e;
      return;
    }
    parser_.Feed(buf_.data(), static_cast<std::size_t>(n), n == 0);
    if (handler_.failure_ != WorkbookError::kNone) error_ = handler_.failure_;
    else if (handler_.finished_ || n == 0) done_ = true;
  }
  // Marks the part as failed though it was read well (it lacks what the reader needs).
  void Fail(WorkbookError e) { error_ = e; }

  WorkbookError error() const { return error_; }
  bool done() const { return done_; }
  // More may be pumped: no error yet and not done.
  bool more() const { return error_ == WorkbookError::kNone && !done_; }

  // The limit reached when Open refused the part.
  const std::string& limit_reached_at_open() const { return entry_.limit(); }
  // The limit reached, after error() kTooLarge: by the inflated size or by the parsing.
  std::string limit_reached() const {
    if (error_ != WorkbookError::kTooLarge) return {};
    return entry_.limit().empty() ? what_ + ": " + handler_.limit_ : entry_.limit();
  }

 private:
  XmlHandler& handler_;
  std::string what_;
  // Destroyed last to first: the parser before the entry it is fed from.
  Entry entry_;
  XmlParser parser_;
  std::vector<char> buf_;
  WorkbookError error_ = WorkbookError::kNone;
  bool done_ = false;
};

// Hands out a sheet read through a StreamedPart once its part (`index`) is open, or
// nothing with the reason in `error` and the limit reached in `limit`.
template <typename Sheet>
std::unique_ptr<SheetRows> OpenStreamedSheet(std::unique_ptr<Sheet> sheet, zip_int64_t index, WorkbookError* error,
                                             std::string* limit) {
  const WorkbookError e = sheet->Open(index);
  if (error) *error = e;
  if (e == WorkbookError::kNone) return sheet;
  if (e == WorkbookError::kTooLarge && limit) *limit = sheet->limit_reached_at_open();
  return nullptr;
}

inline zip_int64_t Locate(zip_t* zip, const std::string& name) { return zip_name_locate(zip, name.c_str(), ZIP_FL_NOCASE); }

// The zip and the buffer it may be read from, freed in the right order.
struct Package {
  std::vector<unsigned char> bytes;
  zip_t* zip = nullptr;
  Package() = default;
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;
  ~Package() {
    if (zip) zip_discard(zip);
  }
};

// Opens a zip package from a file or from bytes (kept in the Package). The content starts
// like a zip, so a zip that cannot be opened is a damaged one.
inline std::unique_ptr<Package> OpenZip(std::unique_ptr<Package> pkg, zip_source_t* src, zip_error_t* ze,
                                        WorkbookError* error) {
  if (!src) {
    if (error) *error = FromZipError(zip_error_code_zip(ze));
    return nullptr;
  }
  pkg->zip = zip_open_from_source(src, ZIP_RDONLY, ze);
  if (!pkg->zip) {
    zip_source_free(src);
    const int code = zip_error_code_zip(ze);
    if (error) *error = code == ZIP_ER_NOZIP ? WorkbookError::kDamaged : FromZipError(code);
    return nullptr;
  }
  return pkg;
}

// An .ods package, opened by the zip reader once it has told it from an .xlsx one.
std::unique_ptr<Workbook> OpenOdsPackage(std::unique_ptr<Package> pkg, const WorkbookLimits& limits,
                                         WorkbookError* error, std::string* limit);

inline std::unique_ptr<Package> OpenZipFile(const std::filesystem::path& file, WorkbookError* error) {
  zip_error_t ze;
  zip_error_init(&ze);
  auto pkg = std::make_unique<Package>();
  zip_source_t* src = zip_source_file_create(file.c_str(), 0, -1, &ze);
  auto out = OpenZip(std::move(pkg), src, &ze, error);
  zip_error_fini(&ze);
  return out;
}

inline std::unique_ptr<Package> OpenZipBytes(std::vector<unsigned char> bytes, WorkbookError* error) {
  zip_error_t ze;
  zip_error_init(&ze);
  auto pkg = std::make_unique<Package>();
  pkg->bytes = std::move(bytes);
  zip_source_t* src = zip_source_buffer_create(pkg->bytes.data(), pkg->bytes.size(), 0, &ze);
  auto out = OpenZip(std::move(pkg), src, &ze, error);
  zip_error_fini(&ze);
  return out;
}

}  // namespace qx::detail
