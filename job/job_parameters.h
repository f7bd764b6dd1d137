#pragma once

#include <array>
#include <cstdint>
#include <string>

// What a job string asks for: the record that JobParameters hands to the transfer job. Every
// field starts at the value it has when the job string does not set it.
struct JobParseResult {
    // Working directory from KWDIR, letter case as typed, always ending in the separator the
    // parser appended (also when the path already ended in one). Empty without KWDIR.
    std::string workDir;
    // The last component of the path, without the appended separator; empty when the path
    // ended in a separator.
    std::string dirName;
    // 1: data goes to the scale (KWRESTORE, KWDOWN); 2: data comes from it (KWBACKUP, KWUP).
    std::uint8_t direction = 1;
    // 0 KWRESTORE, 1 KWBACKUP, 2 KWDOWN, 3 KWUP.
    std::uint8_t jobKind = 0;
    // The range of configuration numbers.
    std::uint8_t confFrom = 0;
    std::uint8_t confTo = 0;
    // The range of article numbers; no order is implied (5 to 0 is a valid range).
    std::uint32_t articleFrom = 0;
    std::uint32_t articleTo = 0;
    // Number of names in `tables`; kAllTables means every table of the scale.
    std::uint8_t tableNameCount = 0;
    // COM port number from KWPORT.
    std::int32_t port = 0;
    // Table names from KWTAB, upper case.
    std::array<std::string, 100> tables;
    bool confGiven = false;
    bool articleGiven = false;
    bool tablesGiven = false;
    // KWPORT was given: the port is to be stored in the configuration file.
    bool portGiven = false;
    // KWCHANGED (KWDOWN only): send only the records the scale is not known to hold as they are.
    bool changedOnly = false;

    static constexpr std::uint8_t kAllTables = 255;
};

// Parses the job string, the program's one argument, for example
// "KWBACKUP[0,5];KWDIR[C:\DATA]" or "KWDOWN;KWDIR[/data/x];KWTAB[PLU1,DEPT];KWPORT[2]".
// Keywords are recognised case-insensitively and anywhere inside their ";"-separated token;
// the KWDIR path keeps its letter case. Every error throws QmComExceptions(1).
class JobParameters {
  public:
    // `commandLine` is the command line without the program name. It is not modified.
    explicit JobParameters(const std::string& commandLine);
    ~JobParameters() = default;

    // A copy of everything the job string asked for.
    JobParseResult result() const { return result_; }

  private:
    void parseFirstToken(const std::string& token);
    void parseWorkDir(const std::string& commandLine);
    void parsePort(const std::string& token);
    void parseArticles(const std::string& token);
    void parseConfRange(const std::string& token);
    void parseTables(const std::string& token);

    JobParseResult result_;
};
