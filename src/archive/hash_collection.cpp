#include "archive/hash_collection.h"

#include <algorithm>

#include "base/error.h"
#include "base/messages.h"

namespace tarn {

void THashCollectionItem::SetName(const AnsiString& value)
{
    if (value == name_)
        return;
    name_ = value;
    collection_->Unlink(*this);
    collection_->Link(*this);
}

AnsiString THashCollectionItem::DisplayName() const { return name_.empty() ? AnsiString(ClassName()) : name_; }

THashCollection::~THashCollection() { Clear(); }

int32_t THashCollection::HashName(std::string_view name)
{
    AnsiString lower = AnsiLowerCase(name);
    uint32_t n = static_cast<uint32_t>(lower.size());
    uint32_t h = 16 * n;
    if (n >= 2)
        h += static_cast<unsigned char>(lower[n - 2]) + static_cast<unsigned char>(lower[0]);
    return static_cast<int32_t>(h & 0xFF);
}

THashCollectionItem& THashCollection::Item(int32_t index) const
{
    if (index < 0 || index >= Count())
        throw EListError(msg::ListIndex, { index });
    return *items_[static_cast<size_t>(index)];
}

THashCollectionItem& THashCollection::Add()
{
    std::unique_ptr<THashCollectionItem> item = NewItem();
    item->CachedIndex = Count();
    items_.push_back(std::move(item));
    THashCollectionItem& added = *items_.back();
    Link(added);
    return added;
}

void THashCollection::Delete(int32_t index)
{
    THashCollectionItem& item = Item(index);
    for (size_t i = static_cast<size_t>(index) + 1; i < items_.size(); ++i)
        --items_[i]->CachedIndex;
    Unlink(item);
    items_.erase(items_.begin() + index);
}

void THashCollection::Clear()
{
    while (!items_.empty()) {
        Unlink(*items_.back());
        items_.pop_back();
    }
}

void THashCollection::Move(int32_t from, int32_t to)
{
    Item(from);
    Item(to);
    auto first = items_.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else if (from > to)
        std::rotate(first + to, first + from, first + from + 1);
    for (int32_t i = std::min(from, to); i <= std::max(from, to); ++i)
        items_[static_cast<size_t>(i)]->CachedIndex = i;
}

int32_t THashCollection::IndexOf(std::string_view name) const
{
    for (const THashCollectionItem* item = Buckets[static_cast<size_t>(HashName(name))]; item; item = item->NextInBucket)
        if (SameText(item->Name(), name))
            return item->CachedIndex;
    return -1;
}

std::unique_ptr<THashCollectionItem> THashCollection::NewItem()
{
    return std::unique_ptr<THashCollectionItem>(new THashCollectionItem(*this));
}

void THashCollection::Link(THashCollectionItem& item)
{
    item.Bucket = HashName(item.Name());
    THashCollectionItem*& head = Buckets[static_cast<size_t>(item.Bucket)];
    if (head) {
        head->PrevInBucket = &item;
        item.NextInBucket = head;
    }
    head = &item;
}

void THashCollection::Unlink(THashCollectionItem& item)
{
    if (item.PrevInBucket) {
        item.PrevInBucket->NextInBucket = item.NextInBucket;
        if (item.NextInBucket)
            item.NextInBucket->PrevInBucket = item.PrevInBucket;
    } else {
        Buckets[static_cast<size_t>(item.Bucket)] = item.NextInBucket;
        if (item.NextInBucket)
            item.NextInBucket->PrevInBucket = nullptr;
    }
    item.PrevInBucket = nullptr;
    item.NextInBucket = nullptr;
}

} // namespace tarn
