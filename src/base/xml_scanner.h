// A forward-only, pull-style XML scanner. The caller loads a whole document and calls Scan()
// again and again; each call moves to the next part of the document (XML declaration, comment,
// processing instruction, document type declaration, start tag, empty-element tag, end tag, text
// content, CDATA section) and leaves that part's type, name, text and attributes in the Cur*
// fields until the next call. It builds no tree, checks no well-formedness and never fails on bad
// input: a missing terminator makes a part run to the end of the text, unknown characters are
// skipped or become text.
//
// Typical use (one scanner per document):
//
//   TXmlParser Parser;
//   Parser.LoadFromBuffer(ReplyText);
//   while (Parser.Scan())
//     if ((Parser.CurPartType == ptStartTag || Parser.CurPartType == ptEmptyTag) &&
//         Parser.CurName.compare(u"TRACK", Qt::CaseInsensitive) == 0)
//       Title = Parser.CurAttr.Value(u"CASTTITLE");
//
// Fields that a part does not set keep what the previous part left there (a comment after a tag
// still shows the tag's CurName and CurAttr), so callers look at CurPartType first.
#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

enum TPartType
{
  ptNone,      // nothing scanned yet
  ptXmlProlog, // XML declaration, or the text declaration of an external entity
  ptComment,
  ptPI,   // processing instruction
  ptDtdc, // document type declaration
  ptStartTag,
  ptEmptyTag,
  ptEndTag,
  ptContent, // text content
  ptCData    // CDATA section
};

enum TValueType
{
  vtNormal,
  vtImplied,
  vtFixed,
  vtDefault
};

enum TAttrType
{
  atUnknown,
  atCData,
  atID,
  atIdRef,
  atIdRefs,
  atEntity,
  atEntities,
  atNmToken,
  atNmTokens,
  atNotation,
  atEnumeration
};

enum TElemType
{
  etEmpty,
  etAny,
  etChildren,
  etMixed
};

enum TAttrDefault
{
  adDefault,
  adRequired,
  adImplied,
  adFixed
};

enum TDtdElemType
{
  deElement,
  deAttList,
  deEntity,
  deNotation,
  dePI,
  deComment,
  deError
};

// Hash used to compare names quickly: L * (first + last + character at 1-based position
// min(L, L div 2 + 1)) in wrapping 32-bit arithmetic, 0 for an empty name.
quint32 XmlNameHash(QStringView AName);

// A name-value pair. Lists set NameHash from Name when a node is added.
class TNvpNode
{
public:
  TNvpNode() = default;
  explicit TNvpNode(const QString& AName, const QString& AValue = QString());
  virtual ~TNvpNode() = default;

  QString Name;
  QString Value;
  quint32 NameHash = 0;
};

// An ordered list that owns its nodes. Lookup by name is exact (case-sensitive) and finds the
// first node of that name; lookups outside the list give none or an empty text. A node's name is
// not to be changed once it is in a list.
class TNvpList
{
public:
  TNvpList() = default;
  virtual ~TNvpList();
  TNvpList(const TNvpList&) = delete;
  TNvpList& operator=(const TNvpList&) = delete;

  // Appends the node (taking it over) and sets its NameHash.
  virtual void Add(std::unique_ptr<TNvpNode> ANode);
  // Replaces the first node of the same name in its place, or appends.
  void AddOrReplace(std::unique_ptr<TNvpNode> ANode);
  virtual void Clear();
  int Count() const { return static_cast<int>(FItems.size()); }

  TNvpNode* Node(QStringView AName) const;
  TNvpNode* Node(const QString& AName) const { return Node(QStringView(AName)); }
  TNvpNode* Node(int AIndex) const;
  QString Value(QStringView AName) const;
  QString Value(const QString& AName) const { return Value(QStringView(AName)); }
  QString Value(int AIndex) const;
  QString Name(int AIndex) const;

protected:
  int IndexOf(QStringView AName, quint32 AHash) const;
  // A list whose nodes may hold values not yet copied out of the document fills them in here;
  // the accessors call it for each node they hand out while FPending is set.
  virtual void Resolve(TNvpNode& ANode) const;
  bool FPending = false;
  // To be called after nodes were added, removed or renamed.
  void Changed()
  {
    if (FIndexed) {
      FIndex.clear();
      FIndexed = false;
    }
  }
  std::vector<TNvpNode*> FItems;                 // the list, in order
  std::vector<std::unique_ptr<TNvpNode>> FOwned; // owns them (an attribute list also spares)

private:
  // Long lists (a document type declaration with many entities) are searched through a map from
  // name to first position, built on the first lookup after a change, so that a document full of
  // references cannot make every lookup walk the whole list.
  mutable std::unordered_map<std::u16string_view, int> FIndex;
  mutable bool FIndexed = false;
};

// An attribute of a tag (or a pseudo-attribute of a declaration or processing instruction).
class TAttr : public TNvpNode
{
public:
  using TNvpNode::TNvpNode;
  TValueType ValueType = vtNormal;
  TAttrType AttrType = atUnknown;

private:
  friend class TAttrList;
  friend class TXmlParser;
  // The value as read holds no "&", TAB, LF or CR, so normalising it changes nothing.
  bool FPlain = false;
  // A value still in the document text: copied into Value when the node is first handed out,
  // so that attributes nobody asks for cost no copy.
  const char16_t* FRaw = nullptr;
  qsizetype FRawLen = 0;
};

class TAttrList : public TNvpList
{
public:
  TAttrList() = default;
  ~TAttrList() override;

  TAttr* Attr(QStringView AName) const { return static_cast<TAttr*>(Node(AName)); }
  TAttr* Attr(int AIndex) const { return static_cast<TAttr*>(Node(AIndex)); }

  // Empties the list, then reads name="value" / name='value' pairs from AStart on. The walk ends
  // at NUL, at ">" or at the first character that cannot start a name where a name is expected
  // ("/" of an empty-element tag, "?" of "?>"); AFinal receives that position. Values are taken
  // raw (no reference replacement, no normalisation); attributes are vtNormal and atUnknown.
  // A name whose "=" or quoted value never comes is dropped. Unquoted values are not recognised.
  // AStart must point into a NUL-terminated text.
  void Analyze(const char16_t* AStart, const char16_t*& AFinal)
  {
    Analyze(AStart, nullptr, AFinal, false);
  }
  void Clear() override
  {
    TNvpList::Clear();
    FSpareNext = 0;
  }

private:
  friend class TXmlParser;
  // Appends an attribute, reusing a node of an earlier tag when there is one, so that scanning a
  // long run of similar tags allocates nothing in the steady state.
  TAttr* AddReused(const char16_t* AName, qsizetype ANameLen, const char16_t* AValue,
                   qsizetype AValueLen, bool ALazy = false);
  void Resolve(TNvpNode& ANode) const override;
  void ResolveAll();
  void MoveToSpare();
  // Analyze knowing where the text's memory ends (at or after its first NUL), which lets values
  // be searched several characters at a time; AEnd may be none. With ALazy, the values stay in
  // the text until they are asked for: the text must outlive the list's current contents.
  void Analyze(const char16_t* AStart, const char16_t* AEnd, const char16_t*& AFinal, bool ALazy);
  size_t FSpareNext = 0;  // the next node of FOwned to use
  bool FNotPlain = false; // some value read by Analyze needs normalising
};

// An attribute declared by <!ATTLIST. Value holds the declared default (or fixed) value.
class TAttrDef : public TNvpNode
{
public:
  using TNvpNode::TNvpNode;
  // The declared type: "CDATA", "ID", "NOTATION", ..., or an enumeration without blanks: "(a|b)".
  QString TypeDef;
  QString Notations; // for a NOTATION type, its list of notation names without blanks: "(gif|png)"
  TAttrType AttrType = atUnknown;
  TAttrDefault DefaultType = adImplied;
};

// An element declared by <!ELEMENT and/or <!ATTLIST: a list of its TAttrDef.
class TElemDef : public TNvpList
{
public:
  QString Name;
  TElemType ElemType = etAny;
  QString Definition; // the content model without blanks, e.g. "(#PCDATA|b)*", "EMPTY"

  TAttrDef* AttrDef(QStringView AName) const { return static_cast<TAttrDef*>(Node(AName)); }
  TAttrDef* AttrDef(int AIndex) const { return static_cast<TAttrDef*>(Node(AIndex)); }
};

// A general or parameter entity. Value holds the replacement text of an internal entity.
class TEntityDef : public TNvpNode
{
public:
  using TNvpNode::TNvpNode;
  QString SystemId;
  QString PublicId;
  QString NotationName;  // NDATA of an unparsed entity
  bool External = false; // declared with SYSTEM or PUBLIC
};

// A notation. Value holds the system id.
class TNotationDef : public TNvpNode
{
public:
  using TNvpNode::TNvpNode;
  QString PublicId;
};

// Owning list of element declarations, kept sorted by name (code-unit order).
class TElemList
{
public:
  TElemList() = default;
  TElemList(const TElemList&) = delete;
  TElemList& operator=(const TElemList&) = delete;

  void Add(std::unique_ptr<TElemDef> ANode); // inserts keeping the order
  TElemDef* Node(QStringView AName) const;   // bisection; none when not declared
  TElemDef* Node(int AIndex) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  void Clear() { FItems.clear(); }

private:
  std::vector<std::unique_ptr<TElemDef>> FItems;
};

class TXmlParser;

// A place to return to when an entity's replacement text has been scanned.
struct TEntityStackNode
{
  std::unique_ptr<TXmlParser> Instance; // the scanner owning an external entity's text, or none
  QString Encoding;                     // the CurEncoding to restore
  const char16_t* LastPos = nullptr;    // where to continue in the enclosing text
  const char16_t* LastEnd = nullptr;    // the terminating NUL of the enclosing text
  // Internals: the entity being read (to refuse a reference to itself) and a reference to its
  // replacement text, which keeps that text alive even if the declaration changes meanwhile.
  const TEntityDef* Entity = nullptr;
  QString Text;
};

using TEntityStack = std::vector<TEntityStackNode>;

struct TExternalID
{
  QString PublicId;
  QString SystemId;
  const char16_t* Final = nullptr;
};

// One markup declaration met in a document type declaration, handed to DtdElementFound. Start and
// Final point at its first and last character; they are valid during the call only (a
// declaration read from a parameter entity or the external subset lies in that text).
struct TDtdElementRec
{
  const char16_t* Start = nullptr;
  const char16_t* Final = nullptr;
  TDtdElemType ElementType = deError;
  TElemDef* ElemDef = nullptr;         // deElement, deAttList
  TEntityDef* EntityDef = nullptr;     // deEntity
  TNotationDef* NotationDef = nullptr; // deNotation
  QString Target;                      // dePI
  QString Content;                     // dePI
  const TAttrList* AttrList = nullptr; // dePI
  const char16_t* Pos = nullptr;       // deError: where the unreadable text starts
};

class TXmlParser
{
public:
  TXmlParser();
  virtual ~TXmlParser();
  TXmlParser(const TXmlParser&) = delete;
  TXmlParser& operator=(const TXmlParser&) = delete;

  // Frees the document and every declaration, empties the document's own fields, sets
  // Normalize. The scan position goes back to the start too (it would point into the freed
  // text); CurPartType, CurName and CurContent stay until StartScan or the next Scan.
  void Clear();
  // Clear, then take the text, which ends at its first NUL: a view is copied, a QString shared
  // (the scanner's copy stays as it is if the caller changes theirs). Source becomes "<MEM>".
  // False (and cleared) when memory runs out.
  bool LoadFromBuffer(QStringView ABuffer);
  bool LoadFromBuffer(const QString& ABuffer);
  // Clear, then scan the caller's NUL-terminated text in place; the caller keeps it alive.
  // Source becomes "<REFERENCE>".
  void SetBuffer(const char16_t* ABuffer);
  // Clear, read the file whole and decode it as UTF-8 (a byte-order mark is skipped). Source
  // becomes the file name. On failure LoadErrorMessage tells why, the scanner is cleared and the
  // result is false. AFileMode is accepted for compatibility and not looked at.
  bool LoadFromFile(const QString& AFilename, int AFileMode = 0);

  // Rewinds: the next Scan starts at the beginning of the document.
  void StartScan();
  // Moves to the next part. False at the end of the document (and on every later call).
  bool Scan();

  QString XmlVersion() const { return FXmlVersion; }
  QString Encoding() const { return FEncoding; }
  bool Standalone() const { return FStandalone; }
  QString RootName() const { return FRootName; }
  QString Source() const { return FSource; }
  QString CurEncoding() const { return FCurEncoding; }
  QString LoadErrorMessage() const { return FLoadErrorMessage; }
  // The loaded text up to its first NUL (empty when nothing is loaded); valid until the next
  // load or Clear.
  QStringView DocBuffer() const;
  // With Normalize on (the default after every load), text content is trimmed, inner runs of
  // whitespace become one space, and whitespace-only text is not reported.
  bool Normalize() const { return FNormalize; }
  void SetNormalize(bool ANormalize) { FNormalize = ANormalize; }

  // Overridable hooks.
  // A new scanner holding an external entity's text, or none. The default resolves a relative
  // system id against the folder of a document loaded with LoadFromFile and loads that regular
  // file; documents from memory load no external entity (their text is not to be trusted with
  // local files).
  virtual std::unique_ptr<TXmlParser>
  LoadExternalEntity(const QString& ASystemId, const QString& APublicId, const QString& ANotation);
  // Applied to every piece of text content and to CDATA content (but not to whitespace-only
  // text that Normalize drops anyway); returns its argument.
  virtual QString TranslateEncoding(const QString& ASource);
  // Turns the code of a character reference into text: the character with that code (a pair of
  // surrogates above 0xFFFF); "?" for 0, surrogates and codes beyond 0x10FFFF.
  virtual QString TranslateCharacter(uint AUnicodeValue);
  // Called for each markup declaration, comment and processing instruction of the document type
  // declaration; does nothing.
  virtual void DtdElementFound(const TDtdElementRec& ADtdElementRec);

  // Limits that keep hostile documents from exhausting memory or the stack: entity references
  // nest at most this deep, and the replacement texts inserted into one document add up to at
  // most EntityBudgetFactor times its length plus EntityBudgetBase characters. A reference
  // beyond either limit, or to an entity that is being expanded already, is treated like an
  // undeclared one (its name alone).
  static constexpr int MaxEntityDepth = 64;
  static constexpr qsizetype EntityBudgetBase = 1 << 20;
  static constexpr qsizetype EntityBudgetFactor = 8;

  // The current part.
  TPartType CurPartType = ptNone;
  QString CurName;
  QString CurContent;
  // First and last character of the part. A text part that runs through an entity's
  // replacement text starts in one text and ends in another; both stay valid until the next
  // Scan. After the end, CurStart is the NUL that ends the document.
  const char16_t* CurStart = nullptr;
  const char16_t* CurFinal = nullptr;
  TAttrList CurAttr;

  // What the document type declaration declared.
  TElemList Elements;
  TNvpList Entities;    // TEntityDef, general entities
  TNvpList ParEntities; // TEntityDef, parameter entities
  TNvpList Notations;   // TNotationDef

  TEntityStack EntityStack;

private:
  // Entity texts that have been left during the current part; CurStart and CurFinal may still
  // point into them, so they are freed only when the next part is scanned.
  TEntityStack FRetired;

  struct TDtdReader;
  friend struct TDtdReader;

  void SetOwnedText(QString AText);
  bool ScanPart(const char16_t* AStart);
  void ScanXmlProlog(const char16_t* AStart);
  void ScanPI(const char16_t* AStart);
  void ScanComment(const char16_t* AStart);
  void ScanCData(const char16_t* AStart);
  void ScanTag(const char16_t* AStart);
  bool ScanContent(const char16_t* AStart);
  void ScanDtdc(const char16_t* AStart);
  void SkipDtdc(const char16_t* AStart);
  void ApplyAttrDefs();
  QString FScratch; // reused while normalising attribute values
  void NormalizeAttr(TAttr& AAttr);
  void NormalizeValue(const char16_t* AFrom, const char16_t* ATo);
  void AppendAttrText(QString& AOut, const char16_t* AFrom, const char16_t* ATo, int ADepth,
                      std::vector<const TEntityDef*>& AActive);
  QString ResolveCharRef(QStringView AName);
  bool PushEntity(const TEntityDef* AEntity, const char16_t* AReturnPos);
  void PopEntity();
  bool EntityActive(const TEntityDef* AEntity) const;
  bool TakeBudget(qsizetype AChars);
  const char16_t* FindSemicolon(const char16_t* AFrom);

  // The document's text ends at its first NUL; FBufferEnd is the NUL that ends the memory (a
  // loaded QString may hold further NULs before it, behind which nothing is read but by the
  // bounded block comparisons).
  const char16_t* FBuffer;
  const char16_t* FBufferEnd;
  qsizetype FBufferSize = 0; // bytes of an owned copy, 0 when borrowed or absent
  QString FOwnedText;
  QString FSource;
  QString FXmlVersion;
  QString FEncoding;
  bool FStandalone = false;
  QString FRootName;
  const char16_t* FDtdcStart = nullptr;
  const char16_t* FDtdcFinal = nullptr;
  bool FNormalize = true;
  QString FCurEncoding;
  QString FLoadErrorMessage;

  // Scan position: where the next part starts; FCurEnd is the end of the memory of the text it
  // lies in, which bounds the block reads.
  bool FHasPos = false;
  const char16_t* FNext = nullptr;
  const char16_t* FCurEnd = nullptr;
  qsizetype FBudgetLeft = 0;
  // Caches the last search for ";" so that many "&" without one stay linear.
  const char16_t* FSemiFrom = nullptr;
  const char16_t* FSemiFound = nullptr;
};
