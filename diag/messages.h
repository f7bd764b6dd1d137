#pragma once

#include <cstdint>

// The numbered texts of "Messages.res", each named after its text. The numbers are the file's:
// a failure, a log entry or a status line asks for its text by this name.
enum class Message : std::int32_t {
    BadJobString = 1,                 // The job string is not valid
    JobStopped = 2,                   // The job was stopped before it had finished
    Job = 3,                          // Job (caption)
    Range = 4,                        // Range (caption)
    Scale = 5,                        // Scale
    Table = 6,                        // Table (caption)
    TranslationFileMissing = 7,       // Can't open the character translation file QT_TRANS.DAT
    TranslationFileWrong = 8,         // The character translation file ... has a wrong format
    ConfigurationFileWrong = 9,       // The configuration file Kwlink.cfg has a wrong format
    FetchData = 10,                   // Fetch data from the scale (KWUP)
    SendData = 11,                    // Send data to the scale (KWDOWN)
    Title = 12,                       // Kwlink data exchange with the scale
    Articles = 13,                    // Articles
    BackUpAll = 14,                   // Back up all data of the scale (KWBACKUP)
    RestoreAll = 15,                  // Restore all data to the scale (KWRESTORE)
    AllConfiguration = 16,            // Configuration (of a whole backup or restore)
    Port = 17,                        // Port
    Numbers = 18,                     // Numbers
    Configuration = 19,               // Configuration (named in KWCONF)
    Tables = 20,                      // Tables
    Status = 21,                      // Status (caption)
    AllTables = 22,                   // All tables
    All = 23,                         // all
    NotAcknowledged = 24,             // The scale does not acknowledge: the connection was lost
    NoAnswer = 25,                    // The scale did not answer in time
    PortNotOpened = 26,               // Can't open the serial port
    UnknownScaleType = 27,            // The scale is of an unknown type
    ModelDescriptionsInvalid = 28,    // The table descriptions of this scale model are missing...
    IdentificationInvalid = 29,       // The scale sent an identification that is not valid
    FetchedDescriptionsInvalid = 31,  // The table descriptions fetched from the scale are not valid
    WorkDirNotCreated = 32,           // Can't create the working directory
    ConnectionEnded = 33,             // Connection to the scale ended
    WaitingForScale = 34,             // Waiting for the scale to call
    PortClosed = 35,                  // Serial port closed
    ConfigurationSaved = 36,          // Configuration saved in the scale
    NothingToTransfer = 37,           // Nothing to transfer for this table
    OutputNotWritten = 38,            // An output file could not be written
    NoFileToSend = 39,                // None of the job's tables had a file to send
    InvalidValueInFile = 40,          // A CSV file holds a value that is not valid
    DirectoryInUse = 41,              // The working directory is used by another job
    UnknownReply = 42,                // The scale sent a reply this program does not know
    FileNotRead = 43,                 // A CSV file could not be read
};

constexpr std::int32_t messageNumber(Message message) {
    return static_cast<std::int32_t>(message);
}
