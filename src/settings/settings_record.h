// The settings record model: classes that list their persisted properties for the settings
// file serializer (settings_file.h).
//
// A class lists its properties in DefineProperties(), calling its base class first so that the
// order is base properties first, then its own in declaration order. Each entry names the
// property, its kind, its declared default (or none) and how to get and set the value: either a
// field bound directly or a getter and a setter. For example:
//
//   void TMyColumn::DefineProperties(TPropertyList& AList)
//   {
//     TCollectionItem::DefineProperties(AList);
//     AList.Integer("Width", &FWidth);
//     AList.Enumeration("State", &FState, psOff); // enum with a declared default
//     AList.String("DispName", [this] { return DispName(); },
//                  [this](const QString& AValue) { FDispName = AValue; });
//   }
//
// Enumerations are stored by their identifiers: an enum type E used with Enumeration() needs a
// function `const TEnumType& EnumType(E)` found by argument-dependent lookup (see dsp_items.h).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

// Identifiers of an enumeration, in the order of its values (the first is value 0).
struct TEnumType
{
  QString Name;
  QStringList Identifiers;

  // The value of an identifier (letter case ignored), or -1.
  int ValueOf(const QString& AIdentifier) const;
};

// False and True.
const TEnumType& BooleanType();

enum class TPropertyKind
{
  Integer,     // 32-bit signed
  Unsigned,    // 32-bit unsigned (stored as the signed number with the same bits)
  Boolean,     // False / True
  Enumeration, // one identifier of an enum type
  String,
  Double,
  Single,
  Collection, // an owned list of items, see TCollection
  StringList, // stored under the sub-name "Strings"
};

class TCollection;

// One persisted property of one object. The accessors are bound to that object.
struct TPropertyInfo
{
  QString Name;
  TPropertyKind Kind = TPropertyKind::Integer;
  const TEnumType* Enum = nullptr; // Boolean and Enumeration
  // Integer, Unsigned, Boolean and Enumeration only: the value that is not written. Without one
  // the property is always written.
  std::optional<qint64> Default;
  // false: never written (Name), but still read.
  bool Stored = true;

  // Integer kinds: Unsigned values travel as 0..4294967295, Boolean and Enumeration as ordinals.
  std::function<qint64()> GetOrdinal;
  std::function<void(qint64)> SetOrdinal;
  std::function<QString()> GetString;
  std::function<void(const QString&)> SetString;
  std::function<double()> GetFloat;
  std::function<void(double)> SetFloat;
  std::function<QStringList()> GetStrings;
  std::function<void(const QStringList&)> SetStrings;
  TCollection* Collection = nullptr;

  // A property without a setter is neither written nor read.
  bool HasSetter() const;
};

class TPropertyList
{
public:
  using TOrdinalDefault = std::optional<qint64>;

  TPropertyInfo& Integer(const QString& AName, qint32* AField, TOrdinalDefault ADefault = {});
  TPropertyInfo& Integer(const QString& AName, std::function<qint32()> AGetter,
                         std::function<void(qint32)> ASetter, TOrdinalDefault ADefault = {});
  TPropertyInfo& Unsigned(const QString& AName, quint32* AField, TOrdinalDefault ADefault = {});
  TPropertyInfo& Boolean(const QString& AName, bool* AField, std::optional<bool> ADefault = {});
  TPropertyInfo& Boolean(const QString& AName, std::function<bool()> AGetter,
                         std::function<void(bool)> ASetter, std::optional<bool> ADefault = {});
  TPropertyInfo& String(const QString& AName, QString* AField);
  TPropertyInfo& String(const QString& AName, std::function<QString()> AGetter,
                        std::function<void(const QString&)> ASetter);
  TPropertyInfo& Double(const QString& AName, double* AField);
  TPropertyInfo& Single(const QString& AName, float* AField);
  TPropertyInfo& Collection(const QString& AName, TCollection* ACollection);
  TPropertyInfo& StringList(const QString& AName, QStringList* AField);

  template <class E>
  TPropertyInfo& Enumeration(const QString& AName, E* AField,
                             std::optional<std::type_identity_t<E>> ADefault = {})
  {
    TPropertyInfo& Info = Add(AName, TPropertyKind::Enumeration);
    Info.Enum = &EnumType(E{});
    if (ADefault)
      Info.Default = static_cast<qint64>(*ADefault);
    Info.GetOrdinal = [AField] { return static_cast<qint64>(*AField); };
    Info.SetOrdinal = [AField](qint64 AValue) { *AField = static_cast<E>(AValue); };
    return Info;
  }

  // Any property described by hand.
  TPropertyInfo& Add(const QString& AName, TPropertyKind AKind);

  const std::vector<TPropertyInfo>& Items() const { return FItems; }
  // By name, letter case ignored; nullptr when there is none.
  const TPropertyInfo* Find(const QString& AName) const;

private:
  std::vector<TPropertyInfo> FItems;
};

// Anything with persisted properties: settings records and collection items.
class TPersistent
{
public:
  TPersistent() = default;
  virtual ~TPersistent();
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;

  virtual QString ClassName() const = 0;
  // Appends the persisted properties, base class first.
  virtual void DefineProperties(TPropertyList& AList);

  TPropertyList Properties();
};

class TCollection;

class TCollectionItem : public TPersistent
{
public:
  // The collection that owns the item, or nullptr while it stands alone.
  TCollection* Collection() const { return FCollection; }
  // Position in the owning collection, or -1.
  int Index() const;

private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
};

// An ordered list of items of one class that owns its items.
class TCollection
{
public:
  TCollection() = default;
  virtual ~TCollection();
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // nullptr when out of range.
  TCollectionItem* Item(int AIndex) const;
  // Appends a new item with its constructor values.
  TCollectionItem* AddItem();
  void Clear();
  // Out-of-range indexes do nothing.
  void Delete(int AIndex);
  // Moves the item at AFrom so that it ends up at ATo.
  void Move(int AFrom, int ATo);
  int IndexOf(const TCollectionItem* AItem) const;

protected:
  virtual std::unique_ptr<TCollectionItem> NewItem() const = 0;

private:
  std::vector<std::unique_ptr<TCollectionItem>> FItems;
};

template <class TItem> class TOwnedCollection : public TCollection
{
public:
  TItem* Add() { return static_cast<TItem*>(AddItem()); }
  TItem* Items(int AIndex) const { return static_cast<TItem*>(Item(AIndex)); }

protected:
  std::unique_ptr<TCollectionItem> NewItem() const override { return std::make_unique<TItem>(); }
};

// A top-level settings record: every one carries Name (never written) and Tag.
class TSettingsRecord : public TPersistent
{
public:
  void DefineProperties(TPropertyList& AList) override;

  // The name goes into the text's header, so only an identifier (or nothing) is taken; anything
  // else is ignored.
  QString Name() const { return FName; }
  void SetName(const QString& AValue);
  qint32 Tag() const { return FTag; }
  void SetTag(qint32 AValue) { FTag = AValue; }

private:
  QString FName;
  qint32 FTag = 0;
};
