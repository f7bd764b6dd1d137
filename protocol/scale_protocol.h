#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The words spoken with the scale, each named once: the control bytes of a frame and of record
// content, the request letters, the reply kinds and the details of a "w" reply; with the
// functions that build the job's requests and sort the scale's replies. The link frames and
// acknowledges, the value codec codes record content, the job asks and reads the answers: all
// of them name their bytes here.
//
// A frame: STX ETB "]" nn ETB content ETX bcc, nn the scale (or configuration) number as two
// decimal digits, bcc the XOR of every byte from STX to ETX. A request is built as header,
// content and one placeholder byte (ETB) that the link turns into ETX and the block check.

namespace protocol {

// ---- control bytes ----
constexpr char STX = 0x02;  // first byte of every frame
constexpr char ETX = 0x03;  // ends a frame's content (and a record); the block check follows
constexpr char ACK = 0x06;  // one byte outside any frame: the frame arrived intact
constexpr char NAK = 0x15;  // one byte outside any frame: the frame was damaged, send it again
constexpr char ETB = 0x17;  // ends the header and each content field (attribute group)
constexpr char RS = 0x1E;   // between the values of a multi-value field

// ---- the frame header ----
constexpr char kHeaderMark = ']';                   // after STX ETB, before the number
constexpr std::size_t kNumberPosition = 3;          // the two digits of the number
constexpr std::size_t kContentPosition = 6;         // the first content byte: a reply's kind
constexpr std::size_t kIdentificationPosition = 7;  // a greeting's identification
// A greeting shorter than this carries no identification.
constexpr std::size_t kShortestGreeting = 19;

// ---- request letters (the first content byte of a request) ----
constexpr char kTableRequest = 'u';  // send me table <busSign> record by record
constexpr char kRecord = 'd';        // a record follows (request, and reply to a table request)
constexpr char kSaveRequest = 's';   // save the configuration sent for this number
constexpr char kEndRequest = 'e';    // the job is over
// A model-700 scale has its own letters: 1Ch for "d"; "q" "*" for a table request (the scale
// chooses the table) and "q" "&" for the end request.
constexpr char kModel700Record = 0x1C;
constexpr char kModel700Command = 'q';
constexpr char kModel700Table = '*';
constexpr char kModel700End = '&';

// ---- reply kinds (the first content byte of a reply) ----
// kRecord or kModel700Record: one record of the table asked for.
constexpr char kTableEnd = 'q';  // the table has no (further) record
constexpr char kStatus = 'w';    // a status; its detail is the next byte
// Details of a status reply: "2" and "3" say that the table has nothing to transfer, "4" to "6"
// simply end it. Any other detail is a reply the job does not know.
constexpr char kFirstNothingDetail = '2';
constexpr char kLastNothingDetail = '3';
constexpr char kFirstEndDetail = '4';
constexpr char kLastEndDetail = '6';

// ---- building requests ----
// The header of every request to number n: STX ETB "]" nn ETB.
std::string header(std::uint8_t number);
// The end request to the scale's own number: "e" (model 700: "q&").
std::string endRequest(std::uint8_t scaleNumber, bool model700);
// The save request after the configuration of one number: "s".
std::string saveRequest(const std::string& header);
// The start of a record request, "d" (model 700: 1Ch): the table appends its bus sign, ETB,
// the encoded record and the placeholder.
std::string recordRequestStart(const std::string& header, bool model700);
// A table request: "u" and the table's bus sign (model 700: "q*"). The description tables are
// asked for with "u" from every scale (model700 false).
std::string tableRequest(const std::string& header, std::uint8_t busSign, bool model700);

// ---- reading replies ----
// What a reply to a table request means to the job.
enum class Reply : std::uint8_t {
    Record,             // a record of the table
    TableEnd,           // the table is complete
    NothingToTransfer,  // the table is complete and had nothing (worth a log entry)
    Unknown,            // a reply the job does not know: it asks again
};
// Sorts a reply by its kind and, for a status, by the detail (the second byte of `payload`,
// which begins with the kind).
Reply classifyReply(char kind, const std::string& payload);

// The number in the header of `frame`: the two digits, modulo 256 (no digit check).
std::uint8_t frameNumber(const std::string& frame);

}  // namespace protocol
