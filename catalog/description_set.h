#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "dictionary/table_description.h"

class KeyedTable;

// The TableDescriptions derived from the rows of the meta-tables TDES (one row per table) and
// ADES (one row per attribute). A temporary of TableCatalog::loadDescriptions.
//
// Every TDES row with a key from 1 to TDES's maxIndex gives one description, in key order
// (a row under key 0 is ignored). Its attributes are the ADES rows (keys 1 to ADES's
// maxIndex, ascending) whose TFSG names the table, the first 100 of them. The derivation
// fails as a whole (complete() false) on the first malformed row: a table fileSign or
// attribute fileSign not of exactly four characters or holding a character that a file name
// or a heading line cannot carry (/ \ : ; < > " | ? * and control bytes), a missing or out-of-range
// bus sign, a table type above 5, a missing ATFG or ATNB in a row of the table, a table that no
// ADES row names, or an ADES row without TFSG that the walk of any table reaches. A missing TATY or
// TIMA gives 0. The TIMA text becomes maxIndex when the table's key attribute is met: read as
// decimal for key types 7 and 10, as hexadecimal for type 8.
class DescriptionSet {
  public:
    // Reads the stored rows of both tables; their current records are overwritten.
    DescriptionSet(KeyedTable& tdes, KeyedTable& ades);

    bool complete() const { return complete_; }
    // The number of TDES rows (of descriptions, when complete).
    std::size_t count() const { return descriptions_.size(); }
    // Copies description `index`; false when index >= count().
    bool descriptionAt(std::size_t index, TableDescription& out) const;

  private:
    bool derive(KeyedTable& tdes, KeyedTable& ades);

    std::vector<std::unique_ptr<TableDescription>> descriptions_;
    bool complete_ = false;
};
