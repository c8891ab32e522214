// The frames of our card protocol (docs/card-protocol.md), for both ends of
// the connection: the csdk library that sends lines and requests, and the
// card simulator that reads them and answers. Plain C++, no sockets.
//
// A frame on the wire: length (4 bytes, big-endian: the bytes after this
// field, 5 to 5 + max_frame_body), kind (1 byte), tag (4 bytes,
// big-endian, signed), body (length - 5 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum : uint8_t { frame_line = 1, frame_request = 2, frame_answer = 3 };
constexpr uint32_t max_frame_body = 65536;
// Bytes before the body: length, kind and tag.
constexpr size_t frame_head_size = 9;

// One frame as it travels: kind, tag and body.
struct Card_frame {
    uint8_t kind = 0;
    int32_t tag = 0;
    std::string body;
};

// The head of a frame as read off the wire.
struct Frame_head {
    uint32_t body_size = 0;
    uint8_t kind = 0;
    int32_t tag = 0;
};

// Writes the head of a frame whose body is body_size bytes (at most
// max_frame_body) into out.
void encode_frame_head(uint8_t kind, int32_t tag, size_t body_size, uint8_t out[frame_head_size]);

// Reads the frame_head_size bytes of a head. False when no frame stream
// can hold it (a length out of range or an unknown kind): the connection is
// then to be closed.
bool decode_frame_head(const uint8_t* head, Frame_head* out);

// The frame as bytes on the wire.
std::string encode_frame(const Card_frame& f);

// Cuts a byte stream into frames. Bytes come in any pieces.
class Frame_reader {
public:
    enum class Status { need_more, frame, bad };
    void feed(const uint8_t* bytes, size_t n) { buffer_.insert(buffer_.end(), bytes, bytes + n); }
    // The next whole frame into out; bad when the stream cannot be a frame
    // stream (see decode_frame_head).
    Status next(Card_frame* out);
    // Bytes fed and not yet taken as frames: a frame begun, or frames
    // waiting to be taken.
    size_t buffered() const { return buffer_.size() - start_; }

private:
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
};
