#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "dictionary/record_layout.h"
#include "dictionary/send_result.h"
#include "dictionary/table_description.h"

// One scale table on the PC: its own copy of the TableDescription, the current record (a key
// and 150 text slots) and the RecordLayout that moves the current record to and from the bytes
// exchanged with the scale. Also carries what the job uses to choose the tables of a transfer:
// the selected flag and the key range. Record stores and transfers are added by derived
// classes (tables/), and so is the table's CSV side (tables/csv_table.h).
//
// The value objects of the layout point into this object's key and slots, so a Table is never
// copied or moved.
class Table {
  public:
    static constexpr std::size_t kSlotCount = 150;

    // Builds the layout: attribute i owns the fieldCount(i) slots after those of the
    // attributes before it, and gets the value object of its type. The layout stays incomplete
    // (and the table unselected) when the attributes need 150 slots or more or one has a type
    // outside 0..10; attributes from there on get no value object. Never throws for a bad
    // description. An attributeCount above 100 counts as 100.
    explicit Table(TableDescription description);
    virtual ~Table() = default;

    // Record transfer, implemented by the handler classes in tables/. A bare Table holds no
    // records: it sends nothing (Nothing) and stores nothing.
    //
    // Before sending the table to the scale `scaleNumber`.
    virtual void startSending(int scaleNumber);
    // Takes one record received from the scale (its record bytes) into the store. Only: the
    // table is done after this record; More: more may follow. May write the status text.
    virtual SendResult storeReceived(std::string& status, int scaleNumber,
                                     const std::string& record);
    // Appends the table's busSign, ETB and the next record to `record` (when Only or More).
    virtual SendResult nextToSend(std::string& status, int scaleNumber, std::string& record);
    // Before fetching the table from the scale.
    virtual void prepareReceive(int scaleNumber);
    // Removes every stored record.
    virtual void clearRecords();

    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // Selects the table for the current job; a table whose layout is incomplete stays out.
    void select();
    void deselect() { selected_ = false; }
    bool isSelected() const { return selected_; }

    bool isLayoutComplete() const { return layoutComplete_; }
    bool isMeta() const { return isTdes_ || isAdes_; }
    bool isTdes() const { return isTdes_; }
    bool isAdes() const { return isAdes_; }
    bool isArticleTable() const { return articleTable_; }
    // Some attribute carries the never-sent flag: the job never sends this table to the scale.
    bool isSendBlocked() const { return sendBlocked_; }
    std::uint8_t busSign() const { return description_.busSign; }
    bool isConfigurationTable() const { return description_.busSign >= 0x80; }
    std::string fileSign() const { return description_.fileSign; }
    std::string name() const { return description_.name; }
    const TableDescription& description() const { return description_; }

    // Sets the key range of the transfer: the ends are put in order, and each end outside
    // minIndex..maxIndex is replaced by that bound on its own side. A range that lies wholly
    // outside minIndex..maxIndex holds no key (rangeHigh below rangeLow): false.
    bool setRange(std::uint32_t a, std::uint32_t b);
    std::uint32_t rangeLow() const { return rangeLow_; }
    std::uint32_t rangeHigh() const { return rangeHigh_; }

    // The slots of the first attribute whose fileSign is `code` (byte for byte). Without one,
    // fieldCount = 0 and the result is false.
    bool findAttribute(const std::string& code, std::size_t& firstSlot,
                       std::uint32_t& fieldCount) const;

    // Empties the current record: key 0, every slot the attributes own the empty text.
    void clearRecord();

    // The current record.
    std::int32_t key() const { return key_; }
    void setKey(std::int32_t key) { key_ = key; }
    const std::string& slot(std::size_t i) const { return slots_.at(i); }
    std::string& slot(std::size_t i) { return slots_.at(i); }
    // The number of slots, from slot 0 on, that the attributes with a value object own;
    // the other slots are never read or written by the layout.
    std::size_t usedSlotCount() const { return usedSlots_; }
    // The attribute that holds the record key (types 7, 8, 10) and has a value object; -1 when
    // there is none.
    std::int32_t keyAttribute() const { return keyAttribute_; }

    // The used slots of the current record as one compact byte string (each slot its length
    // as a base-128 number, low seven bits first, then its bytes), so that a store of many
    // records holds one string per record and nothing for slots the layout does not use.
    void packRecord(std::string& out) const;
    std::string packRecord() const;
    // Puts a packed record back into the used slots. False, changing nothing, when `packed`
    // is not exactly what packRecord produces for this table.
    bool unpackRecord(const std::string& packed);
    // Reads the slot of a packed record that starts at `pos`: its length prefix, then where
    // its bytes start and how many there are; `pos` moves past them. False when the prefix or
    // the bytes are cut off by the end of `packed`.
    static bool readPackedSlot(const std::string& packed, std::size_t& pos, std::size_t& start,
                               std::size_t& length);

    RecordLayout& layout() { return layout_; }
    const RecordLayout& layout() const { return layout_; }

  private:
    bool createValue(std::size_t index, const AttributeDescription& attribute, std::size_t first);

    TableDescription description_;
    std::int32_t key_ = 0;
    std::array<std::string, kSlotCount> slots_{};
    RecordLayout layout_;
    std::size_t usedSlots_ = 0;
    std::uint32_t rangeLow_ = 0;
    std::uint32_t rangeHigh_ = 0;
    bool articleTable_ = false;
    bool selected_ = false;
    bool layoutComplete_ = false;
    bool isTdes_ = false;
    bool isAdes_ = false;
    bool sendBlocked_ = false;
    // The key attribute (types 7, 8, 10) with a value object, -1 without one.
    std::int32_t keyAttribute_ = -1;
};
