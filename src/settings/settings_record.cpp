#include "settings/settings_record.h"

int TEnumType::ValueOf(const QString& AIdentifier) const
{
  for (int I = 0; I < Identifiers.size(); ++I)
    if (Identifiers[I].compare(AIdentifier, Qt::CaseInsensitive) == 0)
      return I;
  return -1;
}

const TEnumType& BooleanType()
{
  static const TEnumType Type{QStringLiteral("Boolean"),
                              {QStringLiteral("False"), QStringLiteral("True")}};
  return Type;
}

bool TPropertyInfo::HasSetter() const
{
  switch (Kind) {
  case TPropertyKind::Integer:
  case TPropertyKind::Unsigned:
  case TPropertyKind::Boolean:
  case TPropertyKind::Enumeration:
    return bool(SetOrdinal);
  case TPropertyKind::String:
    return bool(SetString);
  case TPropertyKind::Double:
  case TPropertyKind::Single:
    return bool(SetFloat);
  case TPropertyKind::Collection:
    return Collection != nullptr;
  case TPropertyKind::StringList:
    return bool(SetStrings);
  }
  return false;
}

TPropertyInfo& TPropertyList::Add(const QString& AName, TPropertyKind AKind)
{
  TPropertyInfo& Info = FItems.emplace_back();
  Info.Name = AName;
  Info.Kind = AKind;
  return Info;
}

TPropertyInfo& TPropertyList::Integer(const QString& AName, qint32* AField,
                                      TOrdinalDefault ADefault)
{
  return Integer(
      AName, [AField] { return *AField; }, [AField](qint32 AValue) { *AField = AValue; }, ADefault);
}

TPropertyInfo& TPropertyList::Integer(const QString& AName, std::function<qint32()> AGetter,
                                      std::function<void(qint32)> ASetter, TOrdinalDefault ADefault)
{
  TPropertyInfo& Info = Add(AName, TPropertyKind::Integer);
  Info.Default = ADefault;
  Info.GetOrdinal = [AGetter] { return static_cast<qint64>(AGetter()); };
  if (ASetter)
    Info.SetOrdinal = [ASetter](qint64 AValue) { ASetter(static_cast<qint32>(AValue)); };
  return Info;
}

TPropertyInfo& TPropertyList::Unsigned(const QString& AName, quint32* AField,
                                       TOrdinalDefault ADefault)
{
  TPropertyInfo& Info = Add(AName, TPropertyKind::Unsigned);
  Info.Default = ADefault;
  Info.GetOrdinal = [AField] { return static_cast<qint64>(*AField); };
  Info.SetOrdinal = [AField](qint64 AValue) { *AField = static_cast<quint32>(AValue); };
  return Info;
}

TPropertyInfo& TPropertyList::Boolean(const QString& AName, bool* AField,
                                      std::optional<bool> ADefault)
{
  return Boolean(
      AName, [AField] { return *AField; }, [AField](bool AValue) { *AField = AValue; }, ADefault);
}

TPropertyInfo& TPropertyList::Boolean(const QString& AName, std::function<bool()> AGetter,
                                      std::function<void(bool)> ASetter,
                                      std::optional<bool> ADefault)
{
  TPropertyInfo& Info = Add(AName, TPropertyKind::Boolean);
  Info.Enum = &BooleanType();
  if (ADefault)
    Info.Default = *ADefault ? 1 : 0;
  Info.GetOrdinal = [AGetter] { return AGetter() ? qint64(1) : qint64(0); };
  if (ASetter)
    Info.SetOrdinal = [ASetter](qint64 AValue) { ASetter(AValue != 0); };
  return Info;
}

TPropertyInfo& TPropertyList::String(const QString& AName, QString* AField)
{
  return String(
      AName, [AField] { return *AField; }, [AField](const QString& AValue) { *AField = AValue; });
}

TPropertyInfo& TPropertyList::String(const QString& AName, std::function<QString()> AGetter,
                                     std::function<void(const QString&)> ASetter)
{
  TPropertyInfo& Info = Add(AName, TPropertyKind::String);
  Info.GetString = std::move(AGetter);
  Info.SetString = std::move(ASetter);
  return Info;
}

TPropertyInfo& TPropertyList::Double(const QString& AName, double* AField)
{
  TPropertyInfo& Info = Add(AName, TPropertyKind::Double);
  Info.GetFloat = [AField] { return *AField; };
  Info.SetFloat = [AField](double AValue) { *AField = AValue; };
  return Info;
}

TPropertyInfo& TPropertyList::Single(const QString& AName, float* AField)
{
  TPropertyInfo& Info = Add(AName, TPropertyKind::Single);
  Info.GetFloat = [AField] { return static_cast<double>(*AField); };
  Info.SetFloat = [AField](double AValue) { *AField = static_cast<float>(AValue); };
  return Info;
}

TPropertyInfo& TPropertyList::Collection(const QString& AName, TCollection* ACollection)
{
  TPropertyInfo& Info = Add(AName, TPropertyKind::Collection);
  Info.Collection = ACollection;
  return Info;
}

TPropertyInfo& TPropertyList::StringList(const QString& AName, QStringList* AField)
{
  TPropertyInfo& Info = Add(AName, TPropertyKind::StringList);
  Info.GetStrings = [AField] { return *AField; };
  Info.SetStrings = [AField](const QStringList& AValue) { *AField = AValue; };
  return Info;
}

const TPropertyInfo* TPropertyList::Find(const QString& AName) const
{
  for (const TPropertyInfo& Info : FItems)
    if (Info.Name.compare(AName, Qt::CaseInsensitive) == 0)
      return &Info;
  return nullptr;
}

TPersistent::~TPersistent() = default;

void TPersistent::DefineProperties(TPropertyList&) {}

TPropertyList TPersistent::Properties()
{
  TPropertyList List;
  DefineProperties(List);
  return List;
}

int TCollectionItem::Index() const
{
  return FCollection ? FCollection->IndexOf(this) : -1;
}

TCollection::~TCollection() = default;

TCollectionItem* TCollection::Item(int AIndex) const
{
  if (AIndex < 0 || AIndex >= Count())
    return nullptr;
  return FItems[static_cast<size_t>(AIndex)].get();
}

TCollectionItem* TCollection::AddItem()
{
  std::unique_ptr<TCollectionItem> New = NewItem();
  New->FCollection = this;
  FItems.push_back(std::move(New));
  return FItems.back().get();
}

void TCollection::Clear()
{
  // Items may look at their collection while they are destroyed; empty the list first.
  std::vector<std::unique_ptr<TCollectionItem>> Old;
  Old.swap(FItems);
  Old.clear();
}

void TCollection::Delete(int AIndex)
{
  if (AIndex < 0 || AIndex >= Count())
    return;
  std::unique_ptr<TCollectionItem> Old = std::move(FItems[static_cast<size_t>(AIndex)]);
  FItems.erase(FItems.begin() + AIndex);
}

void TCollection::Move(int AFrom, int ATo)
{
  if (AFrom < 0 || AFrom >= Count() || ATo < 0 || ATo >= Count() || AFrom == ATo)
    return;
  std::unique_ptr<TCollectionItem> Moved = std::move(FItems[static_cast<size_t>(AFrom)]);
  FItems.erase(FItems.begin() + AFrom);
  FItems.insert(FItems.begin() + ATo, std::move(Moved));
}

int TCollection::IndexOf(const TCollectionItem* AItem) const
{
  for (size_t I = 0; I < FItems.size(); ++I)
    if (FItems[I].get() == AItem)
      return static_cast<int>(I);
  return -1;
}

void TSettingsRecord::SetName(const QString& AValue)
{
  for (qsizetype I = 0; I < AValue.size(); ++I) {
    const char16_t C = AValue[I].unicode();
    const bool Letter = (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || C == '_';
    if (!Letter && !(I > 0 && C >= '0' && C <= '9'))
      return;
  }
  FName = AValue;
}

void TSettingsRecord::DefineProperties(TPropertyList& AList)
{
  TPersistent::DefineProperties(AList);
  AList
      .String(
          "Name", [this] { return Name(); }, [this](const QString& AValue) { SetName(AValue); })
      .Stored = false;
  AList.Integer("Tag", &FTag, 0);
}
