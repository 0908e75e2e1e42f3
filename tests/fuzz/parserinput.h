#ifndef PARSERINPUT_H
#define PARSERINPUT_H

#include <QString>

#include <cstddef>
#include <cstdint>

// Runs one input through a FrameParser, read by read as the serial reader
// hands it the bytes of a port, and checks every read against a plain
// reference. Returns an empty string when every read was right, else what
// went wrong first. Shared by the fuzzer and by the test that replays kept
// inputs.
//
// Input format (an input shorter than the header does nothing):
//   byte 0      data byte count, taken modulo 100
//   byte 1      which markers are on: bit 0 start byte 1, bit 1 start byte 2,
//               bit 2 end byte 1, bit 3 end byte 2 (higher bits ignored)
//   bytes 2-5   the marker values (0-255), in that order
//   then events, each a code byte and what it carries:
//     0-239     that many bytes arrive, then one read
//     240-251 n (code - 239) * 512 bytes arrive (512 to 6144), then one
//               read: the n bytes that follow, over and over (zeros when
//               there are none)
//     252 k     the port hands out k more bytes, then one byte read times
//               out; no bytes arrive, one read
//     253 k     the port hands out k more bytes, then reports the device
//               gone (when asked whether data waits if k is even, when
//               reading a byte if odd); no bytes arrive, one read
//     254       one read, no bytes arrive
//     255       the device is gone from now on; one read
//   An event cut short by the end of the input carries what is left. After
//   the last event, reads go on until no byte waits, and one more follows.
//
// Each read is the serial reader's: with more than 4096 bytes waiting it
// first throws away the oldest, so that 4096 wait, and the parser starts
// again; it takes every waiting byte up to 4096, or those before a time-out;
// a read that finds the device gone feeds nothing, and the parser starts
// again. Each read that feeds the parser must give, in line order, the
// samples of exactly the frames among the bytes fed since the line began
// (was opened, or bytes were thrown away) that became complete in this read,
// judged by a plain reference of the framing rules (see FrameParser), each
// with where its last byte lies among the bytes of the read; nothing when
// there is no such frame or the layout carries no sample. A frame that
// neither begins the line nor follows the frame before it directly comes out
// only with the frame that follows it directly.
QString runParserInput(const uint8_t *data, size_t size);

#endif // PARSERINPUT_H
