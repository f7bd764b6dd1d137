#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>

// What one scale is known to hold: the bytes of every record as they went over the line (or
// came over it in a fetch), by table, number and key. It is kept in the working directory, one
// file per scale (identification and scale number), so that a job sending the same file again
// can leave out every record the scale already holds as it stands.
//
// What the file says is only ever part of the truth, never more: a job forgets a record before
// it sends it and remembers it only after the scale acknowledged it. A job that ends early
// therefore leaves a file that may lack records (they go again next time) but never one that
// claims a record the scale did not take. Deleting the file is always safe.
class HeldRecords {
  public:
    enum class Loaded {
        Known,       // the file was read
        Missing,     // no file for this scale
        OtherScale,  // the file names another identification or scale number: not used
        Damaged,     // the file cannot be read as this program writes it: not used
    };

    // The file of the scale `identification` with the number `scaleNumber` in `workDir`
    // (ending with the path separator). Nothing is read yet: nothing is known.
    HeldRecords(const std::string& workDir, const std::string& identification, int scaleNumber);

    // Reads the file. Anything but Known leaves nothing known, and a file that is there but not
    // used is replaced at the next save; `detail` then says why (for the log).
    Loaded load(std::string& detail);
    // Writes the file (temporary file, then rename) when something changed since the last
    // save. True when the file is up to date afterwards.
    bool save();
    // Saves when `now` is set or the last save (or load) is at least `intervalMs` ago: while
    // records move, a job keeps the file close to what the scale acknowledged.
    void saveEvery(std::uint64_t intervalMs, bool now);

    // Whether the scale is known to hold exactly `bytes` as this record.
    bool holds(const std::string& table, int number, std::int32_t key,
               const std::string& bytes) const;
    // Whether anything at all is known of this table under this number.
    bool knowsTable(const std::string& table, int number) const;
    void remember(const std::string& table, int number, std::int32_t key, const std::string& bytes);
    void forget(const std::string& table, int number, std::int32_t key);
    // Forgets every record of the table under this number (a fetch of it starts).
    void forgetTable(const std::string& table, int number);

    const std::string& path() const { return path_; }
    std::size_t size() const { return records_.size(); }
    // Changes not yet saved.
    bool changed() const { return changed_; }

    // The file name for a scale: "Kwlink-<nn>-<identification>.held", every character of the
    // identification that could not stand in a file name on either system replaced by "_".
    static std::string fileName(const std::string& identification, int scaleNumber);

  private:
    using Id = std::tuple<std::string, int, std::int32_t>;

    std::string content() const;
    Loaded parse(const std::string& data, std::string& detail);

    std::string path_;
    std::string identification_;
    int scaleNumber_;
    std::map<Id, std::string> records_;
    bool changed_ = false;
    std::uint64_t savedAt_ = 0;
};
