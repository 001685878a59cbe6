#pragma once
// Every constant of the native .qtor format, shared by the reader and the
// writer so that the two cannot drift apart. docs/file-format.md describes
// the same bytes in prose.
//
// A chunk header is one little-endian 32-bit word: the tag in the high byte,
// a 24-bit number below it. The chunk routines take tags already shifted into
// the high byte, so every constant here is tag << 24.
#include <cstdint>

namespace ChunkTags {

constexpr uint32_t Tag(uint8_t tag) { return static_cast<uint32_t>(tag) << 24; }

// The end mark closing every container: a header of four zero bytes.
constexpr uint32_t kEndMark = 0;
// Largest number a header's 24-bit field can hold.
constexpr uint32_t kMaxChunkNumber = 0xFFFFFF;
constexpr uint32_t kTagMask = 0xFF000000;
constexpr uint32_t kHeaderSize = 4;
// The largest file: one table container, whose size field counts the bytes
// after its header (16 MiB - 1), plus that header.
constexpr int64_t kMaxFileSize = int64_t{kHeaderSize} + kMaxChunkNumber;
// The smallest container: its header and its end mark.
constexpr uint32_t kMinContainerSize = 2 * kHeaderSize;

// Format versions. A file is written with the lowest version that can hold
// the table: version 1 when it uses nothing that came later, so that such
// files stay byte for byte what they always were and older programs still
// read them. The reader accepts every version up to kFormatVersion.
//
// To add a property: give it a tag below, write its chunk only when the
// property differs from its default, read it in its container's walker, and
// let RequiredVersion (TableFile.cpp) answer kFormatVersion when it is set.
constexpr uint32_t kFormatVersion1 = 1;
constexpr uint32_t kFormatVersion = 2;

// Table container: the whole file.
constexpr uint32_t ctTable = Tag(0x01);
constexpr uint32_t ctVersion = Tag(0x02);     // value
constexpr uint32_t ctColCount = Tag(0x03);    // value, then that many column containers
constexpr uint32_t ctRowCount = Tag(0x04);    // value, then that many row containers
constexpr uint32_t ctExtra1 = Tag(0x05);      // string
constexpr uint32_t ctExtra2 = Tag(0x06);      // string
constexpr uint32_t ctExtra3 = Tag(0x07);      // string
constexpr uint32_t ctEnvironment = Tag(0x08); // string
constexpr uint32_t ctEnvOptions = Tag(0x09);  // string
// Since version 2:
constexpr uint32_t ctRuleStyle = Tag(0x10);   // value, rsBooktabs; written only when not classic
constexpr uint32_t ctFloat = Tag(0x11);       // container, written only when the table has a float

// Float container (version 2).
constexpr uint32_t ctPlacement = Tag(0x12);     // string, "htbp"
constexpr uint32_t ctCentering = Tag(0x13);     // value 1
constexpr uint32_t ctCaption = Tag(0x14);       // string
constexpr uint32_t ctLabel = Tag(0x15);         // string
constexpr uint32_t ctCaptionBelow = Tag(0x16);  // value 1
constexpr uint32_t ctWide = Tag(0x17);          // value 1: table*
constexpr uint32_t ctTextBefore = Tag(0x18);    // string
constexpr uint32_t ctTextAfter = Tag(0x19);     // string

// Column container.
constexpr uint32_t ctColumn = Tag(0x20);
constexpr uint32_t ctColFormat = Tag(0x21);   // string, written even when empty

// Row container.
constexpr uint32_t ctRow = Tag(0x41);
constexpr uint32_t ctCellCount = Tag(0x42);   // value, then that many cell containers
constexpr uint32_t ctPrefix = Tag(0x43);      // string
constexpr uint32_t ctPostfix = Tag(0x44);     // string

// Cell container.
constexpr uint32_t ctCell = Tag(0x61);
constexpr uint32_t ctSpan = Tag(0x62);        // value, written only above 1
constexpr uint32_t ctRules = Tag(0x63);       // data, exactly kRulesSize bytes
constexpr uint32_t ctText = Tag(0x64);        // string
constexpr uint32_t ctAlign = Tag(0x65);       // value: the letter's character code
// Since version 2, on a block's top cell; the cells it covers in the rows
// below are written as ordinary cells and known by the block above them.
constexpr uint32_t ctRowSpan = Tag(0x66);     // value, written only above 1
constexpr uint32_t ctBlockVPos = Tag(0x67);   // string, \multirow's [t]; written only when not empty
constexpr uint32_t ctBlockStruts = Tag(0x68); // string, \multirow's [n]; written only when not empty
constexpr uint32_t ctBlockWidth = Tag(0x69);  // string, the width; written only when not "*"
constexpr uint32_t ctBlockVMove = Tag(0x6A);  // string, the vertical move; written only when not empty

// Rule flags in the order left, top, right, bottom.
constexpr uint32_t kRulesSize = 4;

}  // namespace ChunkTags
