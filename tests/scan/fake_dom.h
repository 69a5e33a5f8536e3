// A small fake of the browser's document model for driving the page walker in tests.
//
// A page is described by plain structs (PageSpec, FrameSpec, ElementSpec) and built into COM
// objects with BuildDocument. Every AddRef/Release goes through a RefLedger, so a test can
// check that each interface the walker obtained was released, and that it let go of an
// element before fetching the next one. Switches in the descriptions make single operations fail.
#pragma once

#include "platform/com/com.h"
#include "platform/com/dom.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace trovex::test {

class RefLedger {
 public:
  void Change(const std::string& who, int delta) { balance_[who] += delta; }
  void Violation(const std::string& what) { violations_.push_back(what); }
  int Balance(const std::string& who) const;
  // Names whose references handed out were not all returned (or returned too often).
  std::vector<std::string> Unbalanced() const;
  const std::vector<std::string>& Violations() const { return violations_; }
  // Operations the walker performed, in order ("get_URL top", "item applets@top 0"...).
  std::vector<std::string> calls;

 private:
  std::map<std::string, int> balance_;
  std::vector<std::string> violations_;
};

// An attribute as getAttribute answers it.
struct AttrValue {
  enum class Kind { Text, Int, Null } kind = Kind::Text;
  std::string text;  // UTF-8
  LONG number = 0;
};
inline AttrValue Text(std::string s) { return {AttrValue::Kind::Text, std::move(s), 0}; }
inline AttrValue Int(LONG n) { return {AttrValue::Kind::Int, {}, n}; }

struct ElementSpec {
  std::map<std::string, AttrValue> attributes;  // names are matched ignoring case
  std::optional<std::string> classid;           // absent: get_classid gives a null BSTR
  bool fetchFails = false;                      // item() fails for this index
  bool answersElement = true;                   // IHTMLElement
  bool answersObject = true;                    // IHTMLObjectElement
  bool classidFails = false;
  bool getAttributeFails = false;
};

struct CollectionSpec {
  std::vector<ElementSpec> items;
  bool unavailable = false;  // get_applets / get_embeds fails
  bool lengthFails = false;
};

struct PageSpec;

struct FrameSpec {
  enum class Kind {
    Frame,             // a browser object with a document
    NoDocument,        // get_Document succeeds with null
    DocumentFails,     // get_Document fails
    NotHtmlDocument,   // the document does not answer IHTMLDocument2
    NotBrowser,        // some other embedded object (a plug-in)
  } kind = Kind::Frame;
  std::vector<PageSpec> page;  // one page for Kind::Frame
};

struct PageSpec {
  std::string name = "top";          // names the fake objects in the ledger
  std::optional<std::string> url;    // UTF-8; absent: get_URL fails
  CollectionSpec applets;
  CollectionSpec embeds;
  std::vector<FrameSpec> frames;
  bool container = true;    // answers IOleContainer
  bool enumFails = false;   // EnumObjects fails
  int nextFailsAt = -1;     // Next fails (E_FAIL) when asked for this object
};

// Builders for the common shapes.
ElementSpec FlashObject(const std::string& movie,
                        const std::string& classid = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000");
ElementSpec Embed(std::optional<std::string> src, std::optional<std::string> type = std::nullopt);
FrameSpec Frame(PageSpec page);
FrameSpec BrokenFrame(FrameSpec::Kind kind);

// The returned reference is not counted in the ledger; hand .Get() to the walker.
ComPtr<IHTMLDocument2> BuildDocument(const PageSpec& page, std::shared_ptr<RefLedger> ledger);

}  // namespace trovex::test
