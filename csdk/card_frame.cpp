#include "csdk/card_frame.h"

namespace {

uint32_t get_u32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void put_u32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24), p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8), p[3] = static_cast<uint8_t>(v);
}

}  // namespace

void encode_frame_head(uint8_t kind, int32_t tag, size_t body_size, uint8_t out[frame_head_size]) {
    put_u32(out, static_cast<uint32_t>(body_size + 5));
    out[4] = kind;
    put_u32(out + 5, static_cast<uint32_t>(tag));
}

bool decode_frame_head(const uint8_t* head, Frame_head* out) {
    const uint32_t n = get_u32(head);
    if (n < 5 || n - 5 > max_frame_body || head[4] < frame_line || head[4] > frame_answer) return false;
    out->body_size = n - 5;
    out->kind = head[4];
    out->tag = static_cast<int32_t>(get_u32(head + 5));
    return true;
}

std::string encode_frame(const Card_frame& f) {
    uint8_t head[frame_head_size];
    encode_frame_head(f.kind, f.tag, f.body.size(), head);
    std::string s(reinterpret_cast<const char*>(head), sizeof head);
    s += f.body;
    return s;
}

Frame_reader::Status Frame_reader::next(Card_frame* out) {
    const size_t avail = buffer_.size() - start_;
    if (avail < frame_head_size) return Status::need_more;
    const uint8_t* p = buffer_.data() + start_;
    Frame_head head;
    if (!decode_frame_head(p, &head)) return Status::bad;
    if (avail < frame_head_size + size_t{head.body_size}) return Status::need_more;
    out->kind = head.kind;
    out->tag = head.tag;
    out->body.assign(reinterpret_cast<const char*>(p + frame_head_size), head.body_size);
    start_ += frame_head_size + size_t{head.body_size};
    if (start_ > 65536 && start_ * 2 > buffer_.size()) {   // drop what is read
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(start_));
        start_ = 0;
    }
    return Status::frame;
}
