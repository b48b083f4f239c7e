#include "base/xml_scanner.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const char16_t KEmptyText[1] = {0};

inline bool IsWs(char16_t C)
{
  return C == 32 || C == 10 || C == 13 || C == 9;
}

inline bool IsNameStart(char16_t C)
{
  return (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z') || C == u'_' || C == u':' ||
         (C >= 0xC0 && C <= 0xFF && C != 0xD7 && C != 0xF7);
}

// Characters that end a name inside the document type declaration.
inline bool IsDtdDelim(char16_t C)
{
  switch (C) {
  case u'>':
  case u'<':
  case u'(':
  case u')':
  case u'|':
  case u',':
  case u'"':
  case u'\'':
  case u'[':
  case u']':
  case u'%':
  case u';':
  case u'?':
  case u'*':
  case u'+':
  case u'=':
    return true;
  default:
    return false;
  }
}

inline const QChar* QC(const char16_t* P)
{
  return reinterpret_cast<const QChar*>(P);
}

inline const char16_t* U(const QString& S)
{
  return reinterpret_cast<const char16_t*>(S.utf16());
}

// Copies a stretch of text into a string, reusing the string's memory when it is ours alone.
inline void AssignText(QString& AStr, const char16_t* AText, qsizetype ALen)
{
  if (AStr.isDetached() && AStr.capacity() >= ALen) {
    if (AStr.size() != ALen)
      AStr.resize(ALen);
    if (ALen > 0)
      std::memcpy(static_cast<void*>(AStr.data()), AText, size_t(ALen) * sizeof(char16_t));
  } else {
    AStr = QString(QC(AText), ALen);
  }
}

// Names are short: a plain loop beats a call to memcmp. The loop stops at the first difference,
// so a NUL in A ends it when B holds none.
inline bool SameChars(const char16_t* A, const char16_t* B, qsizetype ALen)
{
  for (qsizetype I = 0; I < ALen; ++I)
    if (A[I] != B[I])
      return false;
  return true;
}

// The same, four characters at a time, for A and B known to hold at least ALen characters.
inline bool SameCharsBounded(const char16_t* A, const char16_t* B, qsizetype ALen)
{
  if (ALen < 4)
    return SameChars(A, B, ALen);
  quint64 X, Y;
  for (qsizetype I = 0; I + 4 <= ALen; I += 4) {
    std::memcpy(&X, A + I, 8);
    std::memcpy(&Y, B + I, 8);
    if (X != Y)
      return false;
  }
  std::memcpy(&X, A + ALen - 4, 8);
  std::memcpy(&Y, B + ALen - 4, 8);
  return X == Y;
}

inline quint32 HashOf(const char16_t* AName, qsizetype ALen)
{
  if (ALen == 0)
    return 0;
  const qsizetype Mid = std::min<qsizetype>(ALen, ALen / 2 + 1);
  return quint32(ALen) * (quint32(AName[0]) + quint32(AName[ALen - 1]) + quint32(AName[Mid - 1]));
}

// First "&", TAB, LF or CR in [AFrom, ATo), or ATo.
inline const char16_t* NextSpecial(const char16_t* AFrom, const char16_t* ATo)
{
  const char16_t* P = AFrom;
#if defined(__SSE2__)
  const __m128i Amp = _mm_set1_epi16(u'&');
  const __m128i Tab = _mm_set1_epi16(9);
  const __m128i Lf = _mm_set1_epi16(10);
  const __m128i Cr = _mm_set1_epi16(13);
  while (ATo - P >= 8) {
    const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    const unsigned M = unsigned(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(V, Amp), _mm_cmpeq_epi16(V, Tab)),
                     _mm_or_si128(_mm_cmpeq_epi16(V, Lf), _mm_cmpeq_epi16(V, Cr)))));
    if (M)
      return P + (__builtin_ctz(M) >> 1);
    P += 8;
  }
#endif
  while (P < ATo && *P != u'&' && *P != 9 && *P != 10 && *P != 13)
    ++P;
  return P;
}

inline const char16_t* D(const QString& S)
{
  return reinterpret_cast<const char16_t*>(S.constData());
}

inline bool SameText(const QString& AStr, const char16_t* AText, qsizetype ALen)
{
  return AStr.size() == ALen && SameChars(D(AStr), AText, ALen);
}

// Literal comparison at APos; stops at the first difference, so never reads past a NUL.
inline bool At(const char16_t* APos, const char16_t* ALiteral)
{
  for (; *ALiteral; ++APos, ++ALiteral)
    if (*APos != *ALiteral)
      return false;
  return true;
}

// First occurrence of the two-character sequence A B at or after APos, or none.
const char16_t* Find2(const char16_t* APos, char16_t A, char16_t B)
{
  for (; *APos; ++APos)
    if (*APos == A && APos[1] == B)
      return APos;
  return nullptr;
}

const char16_t* Find3(const char16_t* APos, char16_t A, char16_t B, char16_t C)
{
  for (; *APos; ++APos)
    if (*APos == A && APos[1] == B && APos[2] == C)
      return APos;
  return nullptr;
}

inline const char16_t* FindChar(const char16_t* APos, char16_t A)
{
  while (*APos && *APos != A)
    ++APos;
  return *APos ? APos : nullptr;
}

inline const char16_t* EndOfText(const char16_t* APos)
{
  while (*APos)
    ++APos;
  return APos;
}

// Name rule: the first character always belongs to the name (unless it ends the text or the
// tag), then the name runs on until NUL, ">" or a terminator.
enum class TNameKind
{
  Tag,
  Attr,
  PI
};

template <TNameKind Kind> inline const char16_t* NameEnd(const char16_t* AStart)
{
  if (*AStart == 0 || *AStart == u'>')
    return AStart;
  const char16_t* P = AStart + 1;
  for (;; ++P) {
    const char16_t C = *P;
    // Letters and most name characters: no terminator is above ">" ("?" for a target).
    if (C > (Kind == TNameKind::PI ? u'?' : u'>'))
      continue;
    if (C == 0 || C == u'>' || IsWs(C))
      return P;
    if constexpr (Kind == TNameKind::PI) {
      if (C == u'?')
        return P;
    } else {
      if (C == u'/')
        return P;
      if constexpr (Kind == TNameKind::Attr)
        if (C == u'=')
          return P;
    }
  }
}

// Whitespace normalisation of text content: trimmed, inner runs become one space.
void CollapseWhitespace(QString& AText)
{
  const qsizetype N = AText.size();
  qsizetype I = 0;
  const char16_t* Src = D(AText);
  while (I < N && IsWs(Src[I]))
    ++I;
  if (I == N) {
    AText.resize(0);
    return;
  }
  // Nothing to do for the common case of text without surplus whitespace.
  bool Clean = I == 0;
  for (qsizetype K = I; Clean && K < N; ++K)
    if (IsWs(Src[K]) && (Src[K] != u' ' || K + 1 == N || IsWs(Src[K + 1])))
      Clean = false;
  if (Clean)
    return;
  QChar* Dst = AText.data();
  qsizetype Out = 0;
  bool Pending = false;
  for (; I < N; ++I) {
    const char16_t C = Dst[I].unicode();
    if (IsWs(C)) {
      Pending = true;
    } else {
      if (Pending)
        Dst[Out++] = QChar(u' ');
      Pending = false;
      Dst[Out++] = QChar(C);
    }
  }
  AText.resize(Out);
}

// Spaces of a declared (non-CDATA) attribute value: trimmed, runs reduced to one.
QString CollapseSpaces(const QString& AText)
{
  QString R;
  R.reserve(AText.size());
  bool Pending = false;
  for (QChar C : AText) {
    if (C == u' ') {
      Pending = !R.isEmpty();
    } else {
      if (Pending)
        R += u' ';
      Pending = false;
      R += C;
    }
  }
  return R;
}

// Parses the number of a character reference ("#233", "#x41"); -1 when it does not parse.
qint64 CharRefNumber(QStringView AName)
{
  QStringView Digits = AName.mid(1);
  int Base = 10;
  if (!Digits.isEmpty() && (Digits[0] == u'x' || Digits[0] == u'X')) {
    Base = 16;
    Digits = Digits.mid(1);
  }
  if (Digits.isEmpty())
    return -1;
  qint64 V = 0;
  for (QChar Ch : Digits) {
    const char16_t C = Ch.unicode();
    int Digit;
    if (C >= u'0' && C <= u'9')
      Digit = C - u'0';
    else if (Base == 16 && C >= u'a' && C <= u'f')
      Digit = C - u'a' + 10;
    else if (Base == 16 && C >= u'A' && C <= u'F')
      Digit = C - u'A' + 10;
    else
      return -1;
    V = V * Base + Digit;
    if (V > 0x7FFFFFFF)
      return -1;
  }
  return V;
}

// The five predefined entities; 0 when the name is none of them.
char16_t PredefinedEntity(QStringView AName)
{
  const char16_t* N = AName.utf16();
  switch (AName.size()) {
  case 2:
    if (N[1] != u't')
      return 0;
    return N[0] == u'l' ? u'<' : N[0] == u'g' ? u'>' : 0;
  case 3:
    return N[0] == u'a' && N[1] == u'm' && N[2] == u'p' ? u'&' : 0;
  case 4:
    if (N[0] == u'a' && N[1] == u'p' && N[2] == u'o' && N[3] == u's')
      return u'\'';
    if (N[0] == u'q' && N[1] == u'u' && N[2] == u'o' && N[3] == u't')
      return u'"';
    return 0;
  default:
    return 0;
  }
}

// An external entity's text without its text declaration ("<?xml encoding=...?>").
const char16_t* SkipTextDecl(const char16_t* AText)
{
  if (At(AText, u"<?xml") && IsWs(AText[5])) {
    const char16_t* E = Find2(AText + 5, u'?', u'>');
    return E ? E + 2 : EndOfText(AText);
  }
  return AText;
}

// The ";" that ends a reference in an attribute value. The last search's result holds for every
// start up to the position it found, so a value full of stray "&" is not searched again and again.
struct TSemicolonSearch
{
  const char16_t* From = nullptr;
  const char16_t* At = nullptr;

  // The first ";" at or after AFrom, or ATo when there is none.
  const char16_t* Find(const char16_t* AFrom, const char16_t* ATo)
  {
    if (AFrom > ATo)
      return ATo;
    if (From && AFrom >= From && AFrom <= At)
      return At;
    const char16_t* Semi = AFrom;
    while (Semi < ATo && *Semi != u';')
      ++Semi;
    From = AFrom;
    At = Semi;
    return Semi;
  }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Name-value lists

quint32 XmlNameHash(QStringView AName)
{
  return HashOf(AName.utf16(), AName.size());
}

TNvpNode::TNvpNode(const QString& AName, const QString& AValue)
    : Name(AName), Value(AValue), NameHash(XmlNameHash(AName))
{}

TNvpList::~TNvpList() = default;

void TNvpList::Add(std::unique_ptr<TNvpNode> ANode)
{
  if (!ANode)
    return;
  ANode->NameHash = XmlNameHash(ANode->Name);
  FItems.push_back(ANode.get());
  FOwned.push_back(std::move(ANode));
  Changed();
}

void TNvpList::AddOrReplace(std::unique_ptr<TNvpNode> ANode)
{
  if (!ANode)
    return;
  ANode->NameHash = XmlNameHash(ANode->Name);
  const int I = IndexOf(ANode->Name, ANode->NameHash);
  if (I >= 0) {
    TNvpNode* Old = FItems[size_t(I)];
    FItems[size_t(I)] = ANode.get();
    for (std::unique_ptr<TNvpNode>& O : FOwned)
      if (O.get() == Old) {
        O = std::move(ANode);
        break;
      }
  } else {
    FItems.push_back(ANode.get());
    FOwned.push_back(std::move(ANode));
  }
  Changed();
}

void TNvpList::Clear()
{
  FItems.clear();
  FOwned.clear();
  Changed();
}

int TNvpList::IndexOf(QStringView AName, quint32 AHash) const
{
  const qsizetype L = AName.size();
  if (FItems.size() > 16) {
    if (!FIndexed) {
      for (size_t I = 0; I < FItems.size(); ++I) {
        const QString& N = FItems[I]->Name;
        FIndex.emplace(std::u16string_view(D(N), size_t(N.size())), int(I));
      }
      FIndexed = true;
    }
    const auto It = FIndex.find(std::u16string_view(AName.utf16(), size_t(L)));
    if (It == FIndex.end())
      return -1;
    const TNvpNode* N = FItems[size_t(It->second)];
    if (N->Name == AName)
      return It->second;
    // A node was renamed after all: fall back to the walk.
  }
  for (size_t I = 0; I < FItems.size(); ++I) {
    const TNvpNode* N = FItems[I];
    if (N->NameHash == AHash && N->Name.size() == L && SameChars(D(N->Name), AName.utf16(), L))
      return int(I);
  }
  return -1;
}

void TNvpList::Resolve(TNvpNode& ANode) const
{
  Q_UNUSED(ANode);
}

TNvpNode* TNvpList::Node(QStringView AName) const
{
  const char16_t* Name = AName.utf16();
  const qsizetype L = AName.size();
  const quint32 Hash = HashOf(Name, L);
  TNvpNode* N = nullptr;
  if (FItems.size() <= 16) {
    // Short lists (the attributes of a tag): walked right here.
    for (TNvpNode* Item : FItems)
      if (Item->NameHash == Hash && Item->Name.size() == L &&
          SameCharsBounded(D(Item->Name), Name, L)) {
        N = Item;
        break;
      }
  } else {
    const int I = IndexOf(AName, Hash);
    N = I >= 0 ? FItems[size_t(I)] : nullptr;
  }
  if (N && FPending)
    Resolve(*N);
  return N;
}

TNvpNode* TNvpList::Node(int AIndex) const
{
  if (AIndex < 0 || AIndex >= Count())
    return nullptr;
  TNvpNode* N = FItems[size_t(AIndex)];
  if (FPending)
    Resolve(*N);
  return N;
}

QString TNvpList::Value(QStringView AName) const
{
  const TNvpNode* N = Node(AName);
  return N ? N->Value : QString();
}

QString TNvpList::Value(int AIndex) const
{
  const TNvpNode* N = Node(AIndex);
  return N ? N->Value : QString();
}

QString TNvpList::Name(int AIndex) const
{
  const TNvpNode* N = Node(AIndex);
  return N ? N->Name : QString();
}

TAttrList::~TAttrList() = default;

void TAttrList::MoveToSpare()
{
  // Every node stays in FOwned; the next tag takes them again from the first on, so a run of
  // tags with the same attributes finds each name already in its node.
  FItems.clear();
  FSpareNext = 0;
  FPending = false;
  FNotPlain = false;
  Changed();
}

void TAttrList::ResolveAll()
{
  for (TNvpNode* Node : FItems)
    Resolve(*Node);
  FPending = false;
}

void TAttrList::Resolve(TNvpNode& ANode) const
{
  TAttr& A = static_cast<TAttr&>(ANode);
  if (A.FRaw) {
    AssignText(A.Value, A.FRaw, A.FRawLen);
    A.FRaw = nullptr;
  }
}

TAttr* TAttrList::AddReused(const char16_t* AName, qsizetype ANameLen, const char16_t* AValue,
                            qsizetype AValueLen, bool ALazy)
{
  if (FSpareNext >= FOwned.size()) {
    FSpareNext = FOwned.size();
    FOwned.push_back(std::make_unique<TAttr>());
  }
  TAttr* A = static_cast<TAttr*>(FOwned[FSpareNext++].get());
  if (!SameText(A->Name, AName, ANameLen)) {
    AssignText(A->Name, AName, ANameLen);
    A->NameHash = XmlNameHash(A->Name);
  }
  if (ALazy) {
    A->FRaw = AValue;
    A->FRawLen = AValueLen;
    FPending = true;
  } else {
    AssignText(A->Value, AValue, AValueLen);
    A->FRaw = nullptr;
  }
  A->ValueType = vtNormal;
  A->AttrType = atUnknown;
  A->FPlain = false;
  FItems.push_back(A);
  Changed();
  return A;
}

// End of a quoted value: the closing quote AQuote or the end of the text. APlain is cleared when
// the value holds a character that normalisation changes ("&", TAB, LF, CR). With the end of the
// text known, eight characters are looked at in one step.
inline const char16_t* ValueEnd(const char16_t* AFrom, const char16_t* AEnd, char16_t AQuote,
                                bool& APlain)
{
  const char16_t* Q = AFrom;
#if defined(__SSE2__)
  if (AEnd) {
    const __m128i Quote = _mm_set1_epi16(short(AQuote));
    const __m128i Amp = _mm_set1_epi16(u'&');
    const __m128i Tab = _mm_set1_epi16(9);
    const __m128i Lf = _mm_set1_epi16(10);
    const __m128i Cr = _mm_set1_epi16(13);
    const __m128i Zero = _mm_setzero_si128();
    while (AEnd - Q >= 8) {
      const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Q));
      const unsigned Stop = unsigned(
          _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(V, Quote), _mm_cmpeq_epi16(V, Zero))));
      const unsigned Special = unsigned(_mm_movemask_epi8(
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(V, Amp), _mm_cmpeq_epi16(V, Tab)),
                       _mm_or_si128(_mm_cmpeq_epi16(V, Lf), _mm_cmpeq_epi16(V, Cr)))));
      if (Stop) {
        if (Special & ((Stop & (0u - Stop)) - 1))
          APlain = false;
        return Q + (__builtin_ctz(Stop) >> 1);
      }
      if (Special)
        APlain = false;
      Q += 8;
    }
  }
#else
  Q_UNUSED(AEnd);
#endif
  for (;; ++Q) {
    const char16_t E = *Q;
    if (E > u'\'') // NUL, TAB, LF, CR, both quotes and "&" are all below
      continue;
    if (E == AQuote || E == 0)
      return Q;
    if (E == u'&' || E == 9 || E == 10 || E == 13)
      APlain = false;
  }
}

inline bool IsAttrNameEnd(char16_t C)
{
  return C == 0 || C == u'>' || C == u'/' || C == u'=' || IsWs(C);
}

void TAttrList::Analyze(const char16_t* AStart, const char16_t* AEnd, const char16_t*& AFinal,
                        bool ALazy)
{
  MoveToSpare();
  const char16_t* P = AStart;
  for (;;) {
    // Expecting a name.
    char16_t C = *P;
    while (IsWs(C))
      C = *++P;
    if (!IsNameStart(C)) // also NUL, ">", "/" and "?"
      break;
    if (FSpareNext >= FOwned.size()) {
      FSpareNext = FOwned.size();
      FOwned.push_back(std::make_unique<TAttr>());
    }
    TAttr* A = static_cast<TAttr*>(FOwned[FSpareNext].get());
    // Tags of one kind repeat their attributes in the same order: the node in line usually
    // carries this very name already.
    const qsizetype Known = A->Name.size();
    if (Known > 0 &&
        (AEnd && AEnd - P > Known ? SameCharsBounded(P, D(A->Name), Known)
                                  : SameChars(P, D(A->Name), Known)) &&
        IsAttrNameEnd(P[Known])) {
      P += Known;
    } else {
      const char16_t* NameStart = P;
      P = NameEnd<TNameKind::Attr>(P);
      AssignText(A->Name, NameStart, P - NameStart);
      A->NameHash = HashOf(NameStart, P - NameStart);
    }
    // Expecting "=", then a quote; anything else is passed over, NUL and ">" end the walk (and
    // drop the name).
    for (C = *P; C != u'='; C = *++P)
      if (C == 0 || C == u'>') {
        AFinal = P;
        Changed();
        return;
      }
    for (C = *++P; C != u'"' && C != u'\''; C = *++P)
      if (C == 0 || C == u'>') {
        AFinal = P;
        Changed();
        return;
      }
    const char16_t* V = P + 1;
    bool Plain = true;
    const char16_t* Q = ValueEnd(V, AEnd, C, Plain);
    if (ALazy) {
      A->FRaw = V;
      A->FRawLen = Q - V;
      FPending = true;
    } else {
      AssignText(A->Value, V, Q - V);
      A->FRaw = nullptr;
    }
    A->FPlain = Plain;
    FNotPlain |= !Plain;
    A->ValueType = vtNormal;
    A->AttrType = atUnknown;
    FItems.push_back(A);
    ++FSpareNext;
    P = *Q ? Q + 1 : Q;
  }
  AFinal = P;
  Changed();
}

void TElemList::Add(std::unique_ptr<TElemDef> ANode)
{
  if (!ANode)
    return;
  const QStringView Name(ANode->Name);
  auto It = std::upper_bound(
      FItems.begin(), FItems.end(), Name,
      [](QStringView N, const std::unique_ptr<TElemDef>& E) { return N.compare(E->Name) < 0; });
  FItems.insert(It, std::move(ANode));
}

TElemDef* TElemList::Node(QStringView AName) const
{
  auto It = std::lower_bound(FItems.begin(), FItems.end(), AName,
                             [](const std::unique_ptr<TElemDef>& E, QStringView N) {
                               return QStringView(E->Name).compare(N) < 0;
                             });
  return It != FItems.end() && (*It)->Name == AName ? It->get() : nullptr;
}

TElemDef* TElemList::Node(int AIndex) const
{
  return AIndex >= 0 && AIndex < Count() ? FItems[size_t(AIndex)].get() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Scanner: loading

TXmlParser::TXmlParser() : FBuffer(KEmptyText), FBufferEnd(KEmptyText)
{
  Clear();
}

TXmlParser::~TXmlParser()
{
  // The entity stack may own scanners; free them before the texts they point back into.
  EntityStack.clear();
  FRetired.clear();
}

void TXmlParser::Clear()
{
  EntityStack.clear();
  FRetired.clear();
  FOwnedText = QString();
  FBuffer = KEmptyText;
  FBufferEnd = KEmptyText;
  FBufferSize = 0;
  FSource.clear();
  FXmlVersion.clear();
  FEncoding.clear();
  FRootName.clear();
  FStandalone = false;
  FDtdcStart = nullptr;
  FDtdcFinal = nullptr;
  FNormalize = true;
  Elements.Clear();
  Entities.Clear();
  ParEntities.Clear();
  Notations.Clear();
  CurAttr.Clear();
  // The old position would point into the text just freed, so the next Scan starts afresh.
  FHasPos = false;
  FNext = nullptr;
  FCurEnd = nullptr;
  CurStart = nullptr;
  CurFinal = nullptr;
  FSemiFrom = FSemiFound = nullptr;
  FBudgetLeft = EntityBudgetBase;
}

void TXmlParser::SetOwnedText(QString AText)
{
  FOwnedText = std::move(AText);
  FBuffer = U(FOwnedText); // NUL-terminated, also for raw data
  FBufferEnd = FBuffer + FOwnedText.size();
  FBufferSize = (FOwnedText.size() + 1) * qsizetype(sizeof(char16_t));
  FBudgetLeft = EntityBudgetBase + EntityBudgetFactor * FOwnedText.size();
}

bool TXmlParser::LoadFromBuffer(QStringView ABuffer)
{
  Clear();
  const qsizetype Nul = ABuffer.indexOf(QChar(0));
  if (Nul >= 0)
    ABuffer = ABuffer.first(Nul);
  try {
    SetOwnedText(ABuffer.toString());
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  FSource = QStringLiteral("<MEM>");
  return true;
}

bool TXmlParser::LoadFromBuffer(const QString& ABuffer)
{
  // No search for a NUL here: every walk through the text stops at the first one anyway.
  Clear();
  try {
    // Shared, not copied: the caller's string detaches if it is changed later.
    SetOwnedText(ABuffer);
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  FSource = QStringLiteral("<MEM>");
  return true;
}

void TXmlParser::SetBuffer(const char16_t* ABuffer)
{
  Clear();
  if (ABuffer) {
    FBuffer = ABuffer;
    FBufferEnd = EndOfText(ABuffer);
  }
  FBudgetLeft = EntityBudgetBase + EntityBudgetFactor * (FBufferEnd - FBuffer);
  FSource = QStringLiteral("<REFERENCE>");
}

bool TXmlParser::LoadFromFile(const QString& AFilename, int AFileMode)
{
  Q_UNUSED(AFileMode);
  Clear();
  QFile File(AFilename);
  if (!File.open(QIODevice::ReadOnly)) {
    FLoadErrorMessage = File.errorString();
    Clear();
    return false;
  }
  QString Text;
  try {
    const QByteArray Data = File.readAll();
    if (File.error() != QFileDevice::NoError) {
      FLoadErrorMessage = File.errorString();
      Clear();
      return false;
    }
    QStringDecoder Decoder(QStringDecoder::Utf8);
    Text = Decoder.decode(Data);
    if (Decoder.hasError()) {
      FLoadErrorMessage = QStringLiteral("The file is not valid UTF-8 text");
      Clear();
      return false;
    }
  } catch (const std::bad_alloc&) {
    FLoadErrorMessage = QStringLiteral("Out of memory");
    Clear();
    return false;
  }
  if (!LoadFromBuffer(Text)) {
    FLoadErrorMessage = QStringLiteral("Out of memory");
    return false;
  }
  FLoadErrorMessage.clear();
  FSource = AFilename;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Hooks

std::unique_ptr<TXmlParser> TXmlParser::LoadExternalEntity(const QString& ASystemId,
                                                           const QString& APublicId,
                                                           const QString& ANotation)
{
  Q_UNUSED(APublicId);
  Q_UNUSED(ANotation);
  // A document from memory is a station reply or the like: it must not read local files.
  if (FSource.isEmpty() || FSource == u"<MEM>" || FSource == u"<REFERENCE>")
    return nullptr;
  QString Path = ASystemId;
  Path.replace(u'\\', u'/');
  if (Path.startsWith(u"file:", Qt::CaseInsensitive)) {
    Path = QUrl(Path).toLocalFile();
  } else if (Path.contains(u"://")) {
    return nullptr; // nothing is fetched from the network
  }
  if (Path.isEmpty())
    return nullptr;
  if (!Path.startsWith(u'/'))
    Path = QFileInfo(FSource).absolutePath() + u'/' + Path;
  const QFileInfo Info(Path);
  // Regular files only: a device or a pipe could block or never end. The size check keeps a
  // huge file from being read when its text could not be used anyway.
  if (!Info.isFile() || Info.size() / 4 > FBudgetLeft)
    return nullptr;
  auto Entity = std::make_unique<TXmlParser>();
  if (!Entity->LoadFromFile(Path))
    return nullptr;
  return Entity;
}

QString TXmlParser::TranslateEncoding(const QString& ASource)
{
  return ASource;
}

QString TXmlParser::TranslateCharacter(uint AUnicodeValue)
{
  if (AUnicodeValue == 0 || AUnicodeValue > 0x10FFFF ||
      (AUnicodeValue >= 0xD800 && AUnicodeValue <= 0xDFFF))
    return QStringLiteral("?");
  // The Latin-1 range (accented letters, mostly) without an allocation each time.
  static constexpr auto KLatin1 = [] {
    std::array<char16_t, 256> T{};
    for (int I = 0; I < 256; ++I)
      T[size_t(I)] = char16_t(I);
    return T;
  }();
  if (AUnicodeValue < 256)
    return QString::fromRawData(QC(&KLatin1[AUnicodeValue]), 1);
  const char32_t C = AUnicodeValue;
  return QString::fromUcs4(&C, 1);
}

void TXmlParser::DtdElementFound(const TDtdElementRec& ADtdElementRec)
{
  Q_UNUSED(ADtdElementRec);
}

// ---------------------------------------------------------------------------------------------
// Scanner: entity stack and references

bool TXmlParser::TakeBudget(qsizetype AChars)
{
  if (AChars + 1 > FBudgetLeft)
    return false;
  FBudgetLeft -= AChars + 1;
  return true;
}

bool TXmlParser::EntityActive(const TEntityDef* AEntity) const
{
  for (const TEntityStackNode& N : EntityStack)
    if (N.Entity == AEntity)
      return true;
  return false;
}

bool TXmlParser::PushEntity(const TEntityDef* AEntity, const char16_t* AReturnPos)
{
  if (int(EntityStack.size()) >= MaxEntityDepth || EntityActive(AEntity))
    return false;
  TEntityStackNode Node;
  Node.Entity = AEntity;
  Node.Encoding = FCurEncoding;
  Node.LastPos = AReturnPos;
  Node.LastEnd = FCurEnd;
  const char16_t* Text;
  const char16_t* End;
  if (AEntity->External) {
    Node.Instance = LoadExternalEntity(AEntity->SystemId, AEntity->PublicId, AEntity->NotationName);
    if (Node.Instance) {
      Text = Node.Instance->FBuffer;
      End = Node.Instance->FBufferEnd;
    } else {
      // A missing external entity reads as an empty text.
      Text = End = KEmptyText;
    }
  } else {
    Node.Text = AEntity->Value;
    Text = U(Node.Text);
    End = Text + Node.Text.size();
  }
  if (!TakeBudget(End - Text))
    return false;
  EntityStack.push_back(std::move(Node));
  FNext = Text;
  FCurEnd = End;
  FSemiFrom = FSemiFound = nullptr;
  return true;
}

void TXmlParser::PopEntity()
{
  TEntityStackNode& Top = EntityStack.back();
  FNext = Top.LastPos;
  FCurEnd = Top.LastEnd;
  FCurEncoding = Top.Encoding;
  FRetired.push_back(std::move(Top));
  EntityStack.pop_back();
  FSemiFrom = FSemiFound = nullptr;
}

QStringView TXmlParser::DocBuffer() const
{
  return QStringView(FBuffer, EndOfText(FBuffer));
}

const char16_t* TXmlParser::FindSemicolon(const char16_t* AFrom)
{
  // The search result (first ";", "<" or end at or after FSemiFrom) holds for every start up to
  // it, so a run of "&" without ";" is searched once.
  if (FSemiFrom && AFrom >= FSemiFrom && AFrom <= FSemiFound)
    return *FSemiFound == u';' ? FSemiFound : nullptr;
  const char16_t* P = AFrom;
  while (*P && *P != u';' && *P != u'<')
    ++P;
  FSemiFrom = AFrom;
  FSemiFound = P;
  return *P == u';' ? P : nullptr;
}

QString TXmlParser::ResolveCharRef(QStringView AName)
{
  const qint64 N = CharRefNumber(AName);
  return TranslateCharacter(N < 0 ? 32u : uint(N));
}

// ---------------------------------------------------------------------------------------------
// Scanner: parts

void TXmlParser::StartScan()
{
  CurPartType = ptNone;
  CurName.clear();
  CurContent.clear();
  CurAttr.Clear();
  if (!EntityStack.empty())
    FCurEncoding = EntityStack.front().Encoding;
  EntityStack.clear();
  FHasPos = false;
  FNext = nullptr;
  FCurEnd = nullptr;
  CurStart = nullptr;
  CurFinal = nullptr;
  FSemiFrom = FSemiFound = nullptr;
  FBudgetLeft = EntityBudgetBase + EntityBudgetFactor * (FBufferEnd - FBuffer);
}

bool TXmlParser::Scan()
{
  FRetired.clear();
  for (;;) {
    if (!FHasPos) {
      FHasPos = true;
      FNext = FBuffer;
      FCurEnd = FBufferEnd;
    }
    // The end of an entity's replacement text: continue after the reference (after every
    // reference, when several texts end at once).
    while (*FNext == 0 && !EntityStack.empty())
      PopEntity();
    if (*FNext == 0) {
      // The document's text ends at its first NUL; FNext stays there, so later calls end too.
      CurStart = FNext;
      CurFinal = FNext > FBuffer ? FNext - 1 : FNext;
      return false;
    }
    CurStart = FNext;
    CurFinal = FNext;
    if (ScanPart(FNext))
      return true;
  }
}

bool TXmlParser::ScanPart(const char16_t* AStart)
{
  if (AStart[0] != u'<')
    return ScanContent(AStart);
  const char16_t C1 = AStart[1];
  if (C1 == u'?') {
    if (At(AStart + 2, u"xml") && IsWs(AStart[5]))
      ScanXmlProlog(AStart);
    else
      ScanPI(AStart);
  } else if (C1 == u'!') {
    if (AStart[2] == u'-' && AStart[3] == u'-')
      ScanComment(AStart);
    else if (At(AStart + 2, u"DOCTYPE"))
      ScanDtdc(AStart);
    else if (At(AStart + 2, u"[CDATA["))
      ScanCData(AStart);
    else
      ScanTag(AStart);
  } else {
    ScanTag(AStart);
  }
  return true;
}

void TXmlParser::ScanXmlProlog(const char16_t* AStart)
{
  CurPartType = ptXmlProlog;
  const char16_t* Final;
  CurAttr.Analyze(AStart + 5, FCurEnd, Final, false);
  const QString Enc = CurAttr.Value(u"encoding");
  if (EntityStack.empty()) {
    FXmlVersion = CurAttr.Value(u"version");
    FEncoding = Enc;
    FStandalone = CurAttr.Value(u"standalone") == u"yes";
  }
  const char16_t* E = Find2(Final, u'?', u'>');
  CurFinal = E ? E + 1 : EndOfText(Final) - 1;
  FNext = CurFinal + 1;
  FCurEncoding = Enc.isEmpty() ? QStringLiteral("UTF-8") : Enc.toUpper();
  CurName.clear();
  CurContent.clear();
}

void TXmlParser::ScanPI(const char16_t* AStart)
{
  CurPartType = ptPI;
  const char16_t* Target = AStart + 2;
  const char16_t* TargetEnd = NameEnd<TNameKind::PI>(Target);
  AssignText(CurName, Target, TargetEnd - Target);
  const char16_t* E = Find2(Target, u'?', u'>');
  const char16_t* ContentEnd = E ? E : EndOfText(Target);
  CurFinal = E ? E + 1 : ContentEnd - 1;
  FNext = CurFinal + 1;
  if (ContentEnd > TargetEnd)
    AssignText(CurContent, TargetEnd, ContentEnd - TargetEnd);
  else
    CurContent.resize(0);
  // Pairs are read from the content alone, not from what follows it.
  const QString Content = CurContent;
  const char16_t* Final;
  CurAttr.Analyze(U(Content), Final);
}

void TXmlParser::ScanComment(const char16_t* AStart)
{
  CurPartType = ptComment;
  const char16_t* E = Find3(AStart + 4, u'-', u'-', u'>');
  CurFinal = E ? E + 2 : EndOfText(AStart + 4) - 1;
  FNext = CurFinal + 1;
}

void TXmlParser::ScanCData(const char16_t* AStart)
{
  CurPartType = ptCData;
  const char16_t* From = AStart + 9;
  const char16_t* E = Find3(From, u']', u']', u'>');
  const char16_t* To = E ? E : EndOfText(From);
  CurContent = TranslateEncoding(QString(QC(From), To - From));
  CurFinal = E ? E + 2 : To - 1;
  FNext = CurFinal + 1;
}

void TXmlParser::ScanTag(const char16_t* AStart)
{
  TPartType Type = ptStartTag;
  const char16_t* Name = AStart + 1;
  if (*Name == u'/') {
    Type = ptEndTag;
    ++Name;
  }
  const char16_t* NameStop = NameEnd<TNameKind::Tag>(Name);
  const qsizetype NameLen = NameStop - Name;
  if (CurName.size() != NameLen || !SameCharsBounded(Name, D(CurName), NameLen))
    AssignText(CurName, Name, NameLen);
  const char16_t* Final;
  // The values stay in the text for now: the ones to normalise are read from there once, the
  // others are copied out only when asked for.
  CurAttr.Analyze(NameStop, FCurEnd, Final, true);
  if (*Final == u'/')
    Type = ptEmptyTag;
  const char16_t* Gt = FindChar(Final, u'>');
  CurFinal = Gt ? Gt : EndOfText(Final) - 1;
  FNext = CurFinal + 1;
  CurPartType = Type;
  if (Type != ptEndTag) {
    if (Elements.Count() > 0)
      ApplyAttrDefs();
    if (CurAttr.FNotPlain || Elements.Count() > 0)
      for (TNvpNode* Node : CurAttr.FItems) {
        TAttr& A = static_cast<TAttr&>(*Node);
        if (!A.FPlain || A.AttrType != atUnknown)
          NormalizeAttr(A);
      }
  }
  // Only the document's own text outlives the part; an entity's text may be freed while the
  // attributes are still current.
  if (!EntityStack.empty())
    CurAttr.ResolveAll();
}

void TXmlParser::ApplyAttrDefs()
{
  const TElemDef* Def = Elements.Node(CurName);
  if (!Def)
    return;
  for (int I = 0; I < Def->Count(); ++I) {
    const TAttrDef* D = Def->AttrDef(I);
    TAttr* A = CurAttr.Attr(D->Name);
    if (!A && (D->DefaultType == adDefault || D->DefaultType == adFixed)) {
      A = CurAttr.AddReused(U(D->Name), D->Name.size(), U(D->Value), D->Value.size());
      A->ValueType = vtDefault;
    }
    if (!A)
      continue;
    if (D->DefaultType == adImplied) {
      A->ValueType = vtImplied;
    } else if (D->DefaultType == adFixed) {
      A->ValueType = vtFixed;
      A->Value = D->Value;
    }
    A->AttrType = D->AttrType;
  }
}

void TXmlParser::NormalizeAttr(TAttr& AAttr)
{
  const bool Declared = AAttr.AttrType != atUnknown && AAttr.AttrType != atCData;
  const bool Raw = AAttr.FRaw;
  const char16_t* B = Raw ? AAttr.FRaw : D(AAttr.Value);
  const char16_t* E = B + (Raw ? AAttr.FRawLen : AAttr.Value.size());
  AAttr.FRaw = nullptr;
  if (NextSpecial(B, E) == E) {
    if (Raw)
      AssignText(AAttr.Value, B, E - B);
  } else {
    // Built in a string kept from tag to tag, then copied into the value's own memory, so that
    // a long run of tags with references allocates nothing.
    NormalizeValue(B, E);
    AssignText(AAttr.Value, D(FScratch), FScratch.size());
  }
  if (Declared)
    AAttr.Value = CollapseSpaces(AAttr.Value);
}

void TXmlParser::NormalizeValue(const char16_t* AFrom, const char16_t* ATo)
{
  // Into FScratch. Predefined entities, character references and undeclared names make the
  // text no longer (but for a character translated into more than its reference), so it is
  // written straight into room of the value's size; from the first declared entity on, the rest
  // goes through AppendAttrText.
  FScratch.resize(ATo - AFrom);
  char16_t* W = reinterpret_cast<char16_t*>(FScratch.data());
  const char16_t* P = AFrom;
  TSemicolonSearch SemiSearch;
  for (;;) {
    const char16_t* S = NextSpecial(P, ATo);
    std::memcpy(W, P, size_t(S - P) * sizeof(char16_t));
    W += S - P;
    P = S;
    if (P == ATo)
      break;
    if (*P != u'&') {
      *W++ = u' ';
      ++P;
      continue;
    }
    const char16_t* Semi = SemiSearch.Find(P + 2, ATo);
    if (Semi >= ATo) {
      *W++ = u'&';
      ++P;
      continue;
    }
    const QStringView Name(P + 1, Semi);
    if (const char16_t Pre = PredefinedEntity(Name)) {
      *W++ = Pre;
    } else if (Name.startsWith(u'#')) {
      const QString T = ResolveCharRef(Name);
      if (T.size() > Semi + 1 - P) {
        const qsizetype Used = W - reinterpret_cast<char16_t*>(FScratch.data());
        FScratch.resize(Used + T.size() + (ATo - Semi - 1));
        W = reinterpret_cast<char16_t*>(FScratch.data()) + Used;
      }
      std::memcpy(W, D(T), size_t(T.size()) * sizeof(char16_t));
      W += T.size();
    } else {
      if (Entities.Count() > 0 && Entities.Node(Name)) {
        FScratch.resize(W - reinterpret_cast<char16_t*>(FScratch.data()));
        std::vector<const TEntityDef*> Active;
        AppendAttrText(FScratch, P, ATo, 0, Active);
        return;
      }
      std::memcpy(W, Name.utf16(), size_t(Name.size()) * sizeof(char16_t));
      W += Name.size();
    }
    P = Semi + 1;
  }
  FScratch.resize(W - reinterpret_cast<char16_t*>(FScratch.data()));
}

void TXmlParser::AppendAttrText(QString& AOut, const char16_t* AFrom, const char16_t* ATo,
                                int ADepth, std::vector<const TEntityDef*>& AActive)
{
  const char16_t* P = AFrom;
  const char16_t* Run = P;
  TSemicolonSearch SemiSearch;
  while (P < ATo) {
    P = NextSpecial(P, ATo);
    if (P == ATo)
      break;
    const char16_t C = *P;
    if (C == 9 || C == 10 || C == 13) {
      AOut.append(QC(Run), P - Run);
      AOut += u' ';
      Run = ++P;
      continue;
    }
    if (C != u'&') {
      ++P;
      continue;
    }
    AOut.append(QC(Run), P - Run);
    const char16_t* Semi = SemiSearch.Find(P + 2, ATo);
    if (Semi >= ATo) {
      AOut += u'&';
      Run = ++P;
      continue;
    }
    const QStringView Name(P + 1, Semi);
    P = Semi + 1;
    Run = P;
    if (const char16_t Pre = PredefinedEntity(Name)) {
      AOut += Pre;
      continue;
    }
    if (Name.startsWith(u'#')) {
      AOut += ResolveCharRef(Name);
      continue;
    }
    const auto* Ent = static_cast<const TEntityDef*>(Entities.Node(Name));
    const bool Usable = Ent && Ent->NotationName.isEmpty() && ADepth < MaxEntityDepth &&
                        std::find(AActive.begin(), AActive.end(), Ent) == AActive.end();
    if (!Usable) {
      AOut.append(Name);
      continue;
    }
    QString Text;
    if (Ent->External) {
      if (std::unique_ptr<TXmlParser> X =
              LoadExternalEntity(Ent->SystemId, Ent->PublicId, Ent->NotationName)) {
        const char16_t* T = SkipTextDecl(X->FBuffer);
        Text = QString(QC(T), EndOfText(T) - T);
      }
    } else {
      Text = Ent->Value;
    }
    if (!TakeBudget(Text.size())) {
      AOut.append(Name);
      continue;
    }
    AActive.push_back(Ent);
    AppendAttrText(AOut, D(Text), D(Text) + Text.size(), ADepth + 1, AActive);
    AActive.pop_back();
  }
  AOut.append(QC(Run), P - Run);
}

bool TXmlParser::ScanContent(const char16_t* AStart)
{
  CurPartType = ptContent;
  if (!CurContent.isEmpty())
    CurContent.resize(0);
  if (FNormalize) {
    // Line breaks and indentation between tags: nothing to gather.
    const char16_t* P = AStart;
    while (IsWs(*P))
      ++P;
    if (*P == u'<' || (*P == 0 && EntityStack.empty())) {
      CurFinal = P - 1;
      FNext = P;
      return false;
    }
  }
  const char16_t* P = AStart;
  const char16_t* Run = P;
  const char16_t* Last = AStart; // last character taken into this part
  auto AppendRun = [&](const char16_t* ATo) {
    if (ATo > Run)
      CurContent += TranslateEncoding(QString(QC(Run), ATo - Run));
  };
  for (;;) {
    const char16_t C = *P;
    if (C == u'<') {
      AppendRun(P);
      FNext = P;
      break;
    }
    if (C == 0) {
      AppendRun(P);
      if (EntityStack.empty()) {
        FNext = P;
        break;
      }
      PopEntity();
      P = Run = FNext;
      continue;
    }
    if (C != u'&') {
      Last = P++;
      continue;
    }
    AppendRun(P);
    const char16_t* Semi = FindSemicolon(P);
    if (!Semi) {
      Last = P++;
      Run = P;
      continue;
    }
    Last = Semi;
    const QStringView Name(P + 1, Semi);
    P = Run = Semi + 1;
    if (Name.startsWith(u'#')) {
      CurContent += ResolveCharRef(Name);
      continue;
    }
    if (const char16_t Pre = PredefinedEntity(Name)) {
      CurContent += Pre;
      continue;
    }
    const auto* Ent = static_cast<const TEntityDef*>(Entities.Node(Name));
    if (Ent && Ent->NotationName.isEmpty()) {
      if (!Ent->External && Ent->Value.isEmpty())
        continue;
      if (PushEntity(Ent, P)) {
        P = Run = FNext;
        continue;
      }
    }
    CurContent += Name;
  }
  CurFinal = Last;
  if (FNormalize) {
    CollapseWhitespace(CurContent);
    if (CurContent.isEmpty())
      return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Document type declaration

// Reads markup declarations from a stack of texts: the internal subset or the external subset at
// the bottom, the replacement texts of parameter entities above it.
struct TXmlParser::TDtdReader
{
  struct TFrame
  {
    const char16_t* Pos = nullptr;
    const char16_t* End = nullptr;
    QString Hold;                         // replacement text of a parameter entity
    std::unique_ptr<TXmlParser> Instance; // scanner owning an external entity's text
    QString Name;                         // the parameter entity, to refuse self-reference
  };

  TXmlParser& P;
  bool External; // the external subset: declarations already made are kept
  bool Internal; // the internal subset: "]" at the bottom level ends it
  std::vector<TFrame> Frames;
  std::vector<TFrame> Done; // finished texts, kept until the current declaration is reported
  int IncludeDepth = 0;

  TDtdReader(TXmlParser& AParser, const char16_t* AStart, const char16_t* AEnd, bool AExternal)
      : P(AParser), External(AExternal), Internal(!AExternal)
  {
    TFrame F;
    F.Pos = AStart;
    F.End = AEnd;
    Frames.push_back(std::move(F));
  }

  char16_t Peek()
  {
    for (;;) {
      TFrame& F = Frames.back();
      if (F.Pos < F.End)
        return *F.Pos;
      if (Frames.size() == 1)
        return 0;
      Done.push_back(std::move(F));
      Frames.pop_back();
    }
  }
  const char16_t* Here()
  {
    Peek();
    return Frames.back().Pos;
  }
  void Advance() { ++Frames.back().Pos; }
  // Literal at the current position of the current text.
  bool At(const char16_t* ALiteral)
  {
    Peek();
    const TFrame& F = Frames.back();
    const char16_t* Q = F.Pos;
    for (; *ALiteral; ++Q, ++ALiteral)
      if (Q >= F.End || *Q != *ALiteral)
        return false;
    return true;
  }
  void Skip(int N) { Frames.back().Pos += N; }
  bool AtBottomEnd() { return Internal && Frames.size() == 1 && Peek() == u']'; }

  // A parameter-entity reference "%name;" at the current position: expands it (with a blank on
  // each side when APad, as between declarations) and returns true; false when there is none.
  bool TryPE(bool APad)
  {
    Peek();
    TFrame& F = Frames.back();
    const char16_t* S = F.Pos + 1;
    if (S >= F.End || !IsNameStart(*S))
      return false;
    const char16_t* E = S + 1;
    while (E < F.End && !IsWs(*E) && !IsDtdDelim(*E))
      ++E;
    if (E >= F.End || *E != u';')
      return false;
    const QString Name(QC(S), E - S);
    F.Pos = E + 1;
    const auto* Ent = static_cast<const TEntityDef*>(P.ParEntities.Node(Name));
    if (!Ent || int(Frames.size()) > MaxEntityDepth)
      return true;
    for (const TFrame& G : Frames)
      if (G.Name == Name)
        return true;
    TFrame N;
    N.Name = Name;
    QStringView Text;
    if (Ent->External) {
      N.Instance = P.LoadExternalEntity(Ent->SystemId, Ent->PublicId, Ent->NotationName);
      if (N.Instance) {
        const char16_t* T = SkipTextDecl(N.Instance->FBuffer);
        Text = QStringView(T, EndOfText(T));
      }
    } else {
      Text = Ent->Value;
    }
    if (!P.TakeBudget(Text.size()))
      return true;
    if (APad)
      N.Hold = u' ' + Text.toString() + u' ';
    else if (!Ent->External)
      N.Hold = Ent->Value;
    if (!N.Hold.isNull() || Text.isEmpty()) {
      N.Pos = U(N.Hold);
      N.End = N.Pos + N.Hold.size();
    } else {
      N.Pos = Text.utf16();
      N.End = N.Pos + Text.size();
    }
    Frames.push_back(std::move(N));
    return true;
  }

  void SkipWsPE()
  {
    for (;;) {
      const char16_t C = Peek();
      if (IsWs(C))
        Advance();
      else if (C == u'%' && TryPE(true))
        continue;
      else
        return;
    }
  }

  QString ReadName()
  {
    QString S;
    char16_t C = Peek();
    if (!IsNameStart(C))
      return S;
    while (C != 0 && !IsWs(C) && !IsDtdDelim(C)) {
      S += QChar(C);
      Advance();
      C = Peek();
    }
    return S;
  }

  // A quoted literal; parameter-entity references inside are expanded when AExpandPE (entity
  // values). A quote inside an expanded text does not close the literal.
  QString ReadLiteral(bool AExpandPE)
  {
    QString S;
    const char16_t Quote = Peek();
    Advance();
    const size_t Depth = Frames.size();
    for (;;) {
      const char16_t C = Peek();
      if (C == 0)
        break;
      if (C == Quote && Frames.size() <= Depth) {
        Advance();
        break;
      }
      if (AExpandPE && C == u'%' && TryPE(false))
        continue;
      S += QChar(C);
      Advance();
    }
    return S;
  }

  bool AtQuote()
  {
    const char16_t C = Peek();
    return C == u'"' || C == u'\'';
  }

  // SYSTEM "id" | PUBLIC "pub" ["id"]; false when neither keyword stands here.
  bool ReadExternalId(QString& APublicId, QString& ASystemId, bool ASystemOptional)
  {
    if (At(u"SYSTEM")) {
      Skip(6);
      SkipWsPE();
      if (AtQuote())
        ASystemId = ReadLiteral(false);
      return true;
    }
    if (At(u"PUBLIC")) {
      Skip(6);
      SkipWsPE();
      if (AtQuote())
        APublicId = ReadLiteral(false);
      SkipWsPE();
      if (AtQuote())
        ASystemId = ReadLiteral(false);
      Q_UNUSED(ASystemOptional);
      return true;
    }
    return false;
  }

  // Ends a declaration: up to and including its ">"; in the internal subset a "]" at the bottom
  // level stops the search, so that a broken declaration cannot swallow the rest of the document.
  const char16_t* FinishDecl()
  {
    for (;;) {
      const char16_t C = Peek();
      if (C == 0 || AtBottomEnd())
        return Here();
      if (C == u'>') {
        const char16_t* F = Here();
        Advance();
        return F;
      }
      if (C == u'"' || C == u'\'') {
        ReadLiteral(false);
        continue;
      }
      Advance();
    }
  }

  void Report(TDtdElementRec& ARec, const char16_t* AStart, const char16_t* AFinal)
  {
    ARec.Start = AStart;
    ARec.Final = AFinal;
    P.DtdElementFound(ARec);
  }

  // Text up to ">" at the bottom of the current declaration, without whitespace (content
  // models and enumerations carry no meaning in it).
  QString ReadModel(char16_t AStop)
  {
    QString S;
    for (;;) {
      const char16_t C = Peek();
      if (C == 0 || C == u'>' || AtBottomEnd())
        break;
      if (C == u'%' && TryPE(true))
        continue;
      Advance();
      if (!IsWs(C))
        S += QChar(C);
      if (C == AStop)
        break;
    }
    return S;
  }

  void ReadElement(const char16_t* AStart)
  {
    Skip(9);
    SkipWsPE();
    const QString Name = ReadName();
    SkipWsPE();
    const QString Model = ReadModel(0);
    const char16_t* Final = FinishDecl();
    if (Name.isEmpty()) {
      ReportError(AStart, Final);
      return;
    }
    TElemDef* Def = P.Elements.Node(Name);
    const bool Known = Def && !Def->Definition.isEmpty();
    if (!Def) {
      auto New = std::make_unique<TElemDef>();
      New->Name = Name;
      Def = New.get();
      P.Elements.Add(std::move(New));
    }
    if (!(External && Known)) {
      Def->Definition = Model;
      if (Model == u"EMPTY")
        Def->ElemType = etEmpty;
      else if (Model == u"ANY")
        Def->ElemType = etAny;
      else if (Model.startsWith(u"(#PCDATA"))
        Def->ElemType = etMixed;
      else
        Def->ElemType = etChildren;
    }
    TDtdElementRec Rec;
    Rec.ElementType = deElement;
    Rec.ElemDef = Def;
    Report(Rec, AStart, Final);
  }

  void ReadAttList(const char16_t* AStart)
  {
    Skip(9);
    SkipWsPE();
    const QString Name = ReadName();
    if (Name.isEmpty()) {
      ReportError(AStart, FinishDecl());
      return;
    }
    TElemDef* Def = P.Elements.Node(Name);
    if (!Def) {
      auto New = std::make_unique<TElemDef>();
      New->Name = Name;
      Def = New.get();
      P.Elements.Add(std::move(New));
    }
    for (;;) {
      SkipWsPE();
      const char16_t C = Peek();
      if (C == 0 || C == u'>' || AtBottomEnd())
        break;
      const QString AttrName = ReadName();
      if (AttrName.isEmpty())
        break;
      auto AD = std::make_unique<TAttrDef>(AttrName);
      SkipWsPE();
      if (Peek() == u'(') {
        AD->TypeDef = ReadModel(u')');
        AD->AttrType = atEnumeration;
      } else {
        const QString Type = ReadName();
        AD->TypeDef = Type;
        static const struct
        {
          const char16_t* Name;
          TAttrType Type;
        } KTypes[] = {{u"CDATA", atCData},      {u"ID", atID},
                      {u"IDREF", atIdRef},      {u"IDREFS", atIdRefs},
                      {u"ENTITY", atEntity},    {u"ENTITIES", atEntities},
                      {u"NMTOKEN", atNmToken},  {u"NMTOKENS", atNmTokens},
                      {u"NOTATION", atNotation}};
        bool Found = false;
        for (const auto& T : KTypes)
          if (Type == QStringView(T.Name)) {
            AD->AttrType = T.Type;
            Found = true;
          }
        if (!Found)
          break;
        if (AD->AttrType == atNotation) {
          SkipWsPE();
          if (Peek() == u'(')
            AD->Notations = ReadModel(u')');
        }
      }
      SkipWsPE();
      if (Peek() == u'#') {
        Advance();
        const QString Kw = ReadName();
        if (Kw == u"REQUIRED") {
          AD->DefaultType = adRequired;
        } else if (Kw == u"IMPLIED") {
          AD->DefaultType = adImplied;
        } else if (Kw == u"FIXED") {
          AD->DefaultType = adFixed;
          SkipWsPE();
          if (AtQuote())
            AD->Value = ReadLiteral(false);
        } else {
          break;
        }
      } else if (AtQuote()) {
        AD->DefaultType = adDefault;
        AD->Value = ReadLiteral(false);
      } else {
        break;
      }
      if (!(External && Def->Node(AttrName)))
        Def->AddOrReplace(std::move(AD));
    }
    const char16_t* Final = FinishDecl();
    TDtdElementRec Rec;
    Rec.ElementType = deAttList;
    Rec.ElemDef = Def;
    Report(Rec, AStart, Final);
  }

  void ReadEntity(const char16_t* AStart)
  {
    Skip(8);
    SkipWsPE();
    bool Parameter = false;
    if (Peek() == u'%') {
      // "% name" declares; "%name;" would be a reference, which SkipWsPE has expanded already.
      Parameter = true;
      Advance();
      SkipWsPE();
    }
    const QString Name = ReadName();
    SkipWsPE();
    auto Def = std::make_unique<TEntityDef>(Name);
    bool Ok = !Name.isEmpty();
    if (AtQuote()) {
      Def->Value = ReadLiteral(true);
    } else if (ReadExternalId(Def->PublicId, Def->SystemId, false)) {
      Def->External = true;
      SkipWsPE();
      if (!Parameter && At(u"NDATA")) {
        Skip(5);
        SkipWsPE();
        Def->NotationName = ReadName();
      }
    } else {
      Ok = false;
    }
    const char16_t* Final = FinishDecl();
    if (!Ok) {
      ReportError(AStart, Final);
      return;
    }
    TNvpList& List = Parameter ? P.ParEntities : P.Entities;
    TEntityDef* Kept = static_cast<TEntityDef*>(List.Node(Name));
    if (!(External && Kept)) {
      Kept = Def.get();
      List.AddOrReplace(std::move(Def));
    }
    TDtdElementRec Rec;
    Rec.ElementType = deEntity;
    Rec.EntityDef = Kept;
    Report(Rec, AStart, Final);
  }

  void ReadNotation(const char16_t* AStart)
  {
    Skip(10);
    SkipWsPE();
    const QString Name = ReadName();
    SkipWsPE();
    auto Def = std::make_unique<TNotationDef>(Name);
    QString SystemId;
    const bool Ok = !Name.isEmpty() && ReadExternalId(Def->PublicId, SystemId, true);
    Def->Value = SystemId;
    const char16_t* Final = FinishDecl();
    if (!Ok) {
      ReportError(AStart, Final);
      return;
    }
    TNotationDef* Kept = static_cast<TNotationDef*>(P.Notations.Node(Name));
    if (!(External && Kept)) {
      Kept = Def.get();
      P.Notations.AddOrReplace(std::move(Def));
    }
    TDtdElementRec Rec;
    Rec.ElementType = deNotation;
    Rec.NotationDef = Kept;
    Report(Rec, AStart, Final);
  }

  // Comment or processing instruction: both end within the text they start in.
  void ReadCommentOrPI(const char16_t* AStart, bool AComment)
  {
    TFrame& F = Frames.back();
    const char16_t* S = F.Pos + (AComment ? 4 : 2);
    const char16_t* Q = S;
    const char16_t* Stop = nullptr;
    for (; Q < F.End; ++Q)
      if (AComment ? (Q + 2 < F.End && Q[0] == u'-' && Q[1] == u'-' && Q[2] == u'>')
                   : (Q + 1 < F.End && Q[0] == u'?' && Q[1] == u'>')) {
        Stop = Q;
        break;
      }
    const char16_t* Final = Stop ? Stop + (AComment ? 2 : 1) : F.End - 1;
    F.Pos = Final + 1;
    TDtdElementRec Rec;
    if (AComment) {
      Rec.ElementType = deComment;
      Report(Rec, AStart, Final);
      return;
    }
    const char16_t* ContentEnd = Stop ? Stop : F.End;
    const char16_t* T = S;
    while (T < ContentEnd && !IsWs(*T) && *T != u'?' && *T != u'>')
      ++T;
    TAttrList Attrs;
    Rec.ElementType = dePI;
    Rec.Target = QString(QC(S), T - S);
    Rec.Content = QString(QC(T), ContentEnd - T);
    const char16_t* Ignored;
    Attrs.Analyze(U(Rec.Content), Ignored);
    Rec.AttrList = &Attrs;
    Report(Rec, AStart, Final);
  }

  void ReportError(const char16_t* AStart, const char16_t* AFinal)
  {
    TDtdElementRec Rec;
    Rec.ElementType = deError;
    Rec.Pos = AStart;
    Report(Rec, AStart, AFinal);
  }

  // <![INCLUDE[ ... ]]> reads on; <![IGNORE[ ... ]]> is skipped with its nested sections.
  void ReadConditional(const char16_t* AStart)
  {
    Skip(3);
    SkipWsPE();
    const QString Kw = ReadName();
    SkipWsPE();
    if (Peek() == u'[')
      Advance();
    if (Kw == u"INCLUDE") {
      ++IncludeDepth;
      return;
    }
    if (Kw != u"IGNORE") {
      ReportError(AStart, FinishDecl());
      return;
    }
    int Depth = 1;
    while (Depth > 0) {
      const char16_t C = Peek();
      if (C == 0)
        return;
      if (At(u"<![")) {
        ++Depth;
        Skip(3);
      } else if (At(u"]]>")) {
        --Depth;
        Skip(3);
      } else {
        Advance();
      }
    }
  }

  void Read()
  {
    for (;;) {
      Done.clear();
      SkipWsPE();
      if (IncludeDepth > 0 && At(u"]]>")) {
        --IncludeDepth;
        Skip(3);
        continue;
      }
      const char16_t C = Peek();
      if (C == 0 || AtBottomEnd())
        return;
      const char16_t* Start = Here();
      if (At(u"<!ELEMENT"))
        ReadElement(Start);
      else if (At(u"<!ATTLIST"))
        ReadAttList(Start);
      else if (At(u"<!ENTITY"))
        ReadEntity(Start);
      else if (At(u"<!NOTATION"))
        ReadNotation(Start);
      else if (At(u"<!--"))
        ReadCommentOrPI(Start, true);
      else if (At(u"<?"))
        ReadCommentOrPI(Start, false);
      else if (At(u"<!["))
        ReadConditional(Start);
      else {
        // Unreadable text: skipped up to the next declaration (or the end of the subset).
        const char16_t* Final = Start;
        Advance();
        for (;;) {
          const char16_t D = Peek();
          if (D == 0 || D == u'<' || AtBottomEnd())
            break;
          Final = Here();
          Advance();
        }
        ReportError(Start, Final);
      }
    }
  }
};

void TXmlParser::ScanDtdc(const char16_t* AStart)
{
  CurPartType = ptDtdc;
  CurName.clear();
  CurContent.clear();
  if (FDtdcFinal && AStart == FDtdcStart) {
    // Declared already on an earlier pass over this text.
    CurFinal = FDtdcFinal;
    FNext = CurFinal + 1;
    return;
  }
  if (FDtdcFinal || !EntityStack.empty()) {
    SkipDtdc(AStart);
    return;
  }
  const char16_t* P = AStart + 9;
  while (IsWs(*P))
    ++P;
  if (IsNameStart(*P)) {
    const char16_t* E = P + 1;
    while (*E && !IsWs(*E) && !IsDtdDelim(*E))
      ++E;
    FRootName = QString(QC(P), E - P);
    P = E;
  }
  while (IsWs(*P))
    ++P;
  QString PublicId, SystemId;
  bool HasExternal = false;
  if (At(P, u"SYSTEM") || At(P, u"PUBLIC")) {
    TDtdReader R(*this, P, EndOfText(P), false);
    HasExternal = R.ReadExternalId(PublicId, SystemId, false);
    P = R.Here();
  }
  while (IsWs(*P))
    ++P;
  if (*P == u'[') {
    TDtdReader R(*this, P + 1, EndOfText(P + 1), false);
    R.Read();
    P = R.Here();
    if (*P == u']')
      ++P;
  }
  const char16_t* Gt = FindChar(P, u'>');
  CurFinal = Gt ? Gt : EndOfText(P) - 1;
  FNext = CurFinal + 1;
  FDtdcStart = AStart;
  FDtdcFinal = CurFinal;
  // The internal subset comes first and wins over the external one, which may use the parameter
  // entities declared there.
  if (HasExternal && !SystemId.isEmpty()) {
    if (std::unique_ptr<TXmlParser> X = LoadExternalEntity(SystemId, PublicId, QString())) {
      const char16_t* T = SkipTextDecl(X->FBuffer);
      const char16_t* End = EndOfText(T);
      if (TakeBudget(End - T)) {
        TDtdReader R(*this, T, End, true);
        R.Read();
      }
    }
  }
}

void TXmlParser::SkipDtdc(const char16_t* AStart)
{
  const char16_t* P = AStart + 9;
  bool Subset = false;
  for (; *P; ++P) {
    const char16_t C = *P;
    if (C == u'"' || C == u'\'') {
      const char16_t* Q = FindChar(P + 1, C);
      if (!Q) {
        P = EndOfText(P);
        break;
      }
      P = Q;
    } else if (Subset && At(P, u"<!--")) {
      const char16_t* Q = Find3(P + 4, u'-', u'-', u'>');
      if (!Q) {
        P = EndOfText(P);
        break;
      }
      P = Q + 2;
    } else if (C == u'[') {
      Subset = true;
    } else if (C == u']') {
      Subset = false;
    } else if (C == u'>' && !Subset) {
      break;
    }
  }
  CurFinal = *P ? P : P - 1;
  FNext = CurFinal + 1;
}
