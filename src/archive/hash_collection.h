// An ordered collection of owned, named items that finds an item's position
// by name through 256 hash chains. The archive directory builds on it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace tarn {

class THashCollection;

class THashCollectionItem {
public:
    virtual ~THashCollectionItem() = default;
    THashCollectionItem(const THashCollectionItem&) = delete;
    THashCollectionItem& operator=(const THashCollectionItem&) = delete;

    THashCollection& Collection() const { return *collection_; }
    const AnsiString& Name() const { return name_; }
    // A name that differs in any byte relinks the item at the head of its new
    // chain (so the most recently named of equal names is found first); the
    // same bytes change nothing.
    virtual void SetName(const AnsiString& value);
    virtual void Assign(const THashCollectionItem& source) { SetName(source.Name()); }
    // The name, or the class name when the name is empty.
    virtual AnsiString DisplayName() const;

    int32_t Bucket = 0;
    // Always the item's position in the collection.
    int32_t CachedIndex = 0;
    THashCollectionItem* PrevInBucket = nullptr;
    THashCollectionItem* NextInBucket = nullptr;

protected:
    explicit THashCollectionItem(THashCollection& collection) : collection_(&collection) { }
    virtual const char* ClassName() const { return "THashCollectionItem"; }

private:
    friend class THashCollection;
    THashCollection* collection_;
    AnsiString name_;
};

class THashCollection {
public:
    THashCollection() { Buckets.fill(nullptr); }
    virtual ~THashCollection();
    THashCollection(const THashCollection&) = delete;
    THashCollection& operator=(const THashCollection&) = delete;

    // Bucket of a name: 16 x length + first byte + second-to-last byte of the
    // lower-cased name (the last two only from two bytes on), mod 256.
    static int32_t HashName(std::string_view name);

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    // Raises EListError outside 0..Count-1.
    THashCollectionItem& Item(int32_t index) const;
    // Appends a new item of the collection's item class, unnamed (bucket 0).
    THashCollectionItem& Add();
    // Frees the item at index; the items behind it move down.
    void Delete(int32_t index);
    // Frees every item, the last first.
    void Clear();
    // Moves the item at from to position to; the items between shift by one.
    void Move(int32_t from, int32_t to);
    // Position of an item whose name equals name without regard to case, the
    // most recently named first; -1 when there is none.
    virtual int32_t IndexOf(std::string_view name) const;

    std::array<THashCollectionItem*, 256> Buckets;

protected:
    virtual std::unique_ptr<THashCollectionItem> NewItem();

private:
    friend class THashCollectionItem;
    void Link(THashCollectionItem& item);
    void Unlink(THashCollectionItem& item);

    std::vector<std::unique_ptr<THashCollectionItem>> items_;
};

} // namespace tarn
