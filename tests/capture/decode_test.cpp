// The offline decoding API: the same text as the in-process operations, and a DecodeError that
// says exactly what is missing when the bytes given are not enough.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "support/decode.h"

using riz::test::Guarded;
using riz::test::lines;
using rizorod::DecodeError;
using rizorod::Decoder;
using rizorod::Interface;
using rizorod::MemoryImage;
using rizorod::Timestamp;

namespace {

using Bytes = std::vector<std::uint8_t>;

Timestamp at(int h, int m, int s, int ms) {
    Timestamp t;
    t.hour = static_cast<std::uint8_t>(h);
    t.minute = static_cast<std::uint8_t>(m);
    t.second = static_cast<std::uint8_t>(s);
    t.millis = static_cast<std::uint16_t>(ms);
    return t;
}

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The message of the DecodeError that decoding throws, or "" when it decodes.
std::string error_of(Interface iface, std::uint16_t code, const Bytes& record, const MemoryImage& image) {
    Decoder d;
    try {
        d.decode(iface, code, record, image);
    } catch (const DecodeError& e) {
        return e.what();
    }
    return "";
}

const Timestamp kStamp = at(14, 3, 27, 45);
const std::string kHeader = "---- 14:03:27.045 ------------------\n";

// ---- Worked examples, decoded from a record and an image

TEST(Decode, AclConnectConfirmShowsTheEntryStamp) {
    const Bytes record = {0x04, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x29, 0x00, 0x33,
                          0x8b, 0x9e, 0x00, 0x5b, 0x00, 0x02, 0x00, 0x01};
    Decoder d;
    EXPECT_EQ(d.decode(Interface::dm, 0x2004, record, MemoryImage{}, &kStamp),
              kHeader + lines({"DM_ACL_CONNECT_CFM_T", "\ttype =  2004", "\tphandle =  1a",
                               "\tstatus =  00", "\thandle =  29", "\tBD_ADDR_T", "\t\tlap =  9e8b33",
                               "\t\tuap =  5b", "\t\tnap =  02", "\tenc_mode =  01"}));
}

TEST(Decode, WithoutAStampTheHeaderShowsTheClock) {
    const Bytes record = {0x00, 0x00, 0x01, 0x00};  // DM_AM_REGISTER_REQ_T, phandle 1
    Decoder d;
    EXPECT_EQ(riz::test::body(d.decode(Interface::dm, 0x0000, record, MemoryImage{})),
              lines({"DM_AM_REGISTER_REQ_T", "\ttype =  00", "\tphandle =  01"}));
}

TEST(Decode, ADatedStampShowsItsTimeOfDay) {
    Timestamp t = at(23, 59, 60, 7);
    t.year = 2016;
    t.month = 12;
    t.day = 31;
    const Bytes record = {0x00, 0x00, 0x01, 0x00};
    Decoder d;
    EXPECT_EQ(d.decode(Interface::dm, 0x0000, record, MemoryImage{}, &t).substr(0, 37),
              "---- 23:59:60.007 ------------------\n");
}

TEST(Decode, ByteRunFromTheImage) {
    Bytes record(12, 0);
    put16(record, 0, 0x000b);
    put16(record, 2, 0x0041);
    put16(record, 4, 3);
    put32(record, 8, 0x00300000);
    MemoryImage image;
    image.add(0x00300000, Bytes{0x01, 0x02, 0xff});
    Decoder d;
    EXPECT_EQ(d.decode(Interface::l2cap, 0x000b, record, image, &kStamp),
              kHeader + lines({"L2CA_DATAWRITE_REQ_T", "\ttype =  0b", "\tcid =  41", "\tlength =  03",
                               " 01 02 ff"}));
}

TEST(Decode, AccessCodesFromTheImage) {
    Bytes record(32, 0);
    put16(record, 0, 0x0c3a);
    record[2] = 0x07;
    record[4] = 2;
    put32(record, 8, 0x00500000);
    MemoryImage image;
    Bytes block(64, 0);
    put32(block, 0, 0x9e8b33);
    put32(block, 4, 0x9e8b00);
    image.add(0x00500000, Bytes(block.begin(), block.begin() + 8));  // only the two codes
    Decoder d;
    EXPECT_EQ(d.decode(Interface::dm, 0x0c3a, record, image, &kStamp),
              kHeader + lines({"HCI_WRITE_CURRENT_IAC_LAP_T", "\tHCI_COMMAND_COMMON_T", "\t\top_code =  c3a",
                               "\t\tlength =  07", "\tnum_current_iac =  02", "\tiac_lap =  9e8b33",
                               "\tiac_lap =  9e8b00", ""}));
}

TEST(Decode, NameFromTheImage) {
    Bytes record(36, 0);
    put16(record, 0, 0x0c13);
    record[2] = 0xf8;
    put32(record, 4, 0x00600000);
    MemoryImage image;
    image.add(0x00600000, Bytes{'a', 'b', 'c', 0});
    Decoder d;
    EXPECT_EQ(d.decode(Interface::dm, 0x0c13, record, image, &kStamp),
              kHeader + lines({"HCI_CHANGE_LOCAL_NAME_T", "\tHCI_COMMAND_COMMON_T", "\t\top_code =  c13",
                               "\t\tlength =  f8", "\tname_part = abc"}));
}

TEST(Decode, BlocksOfRecordsFromPiecesOfTheImage) {
    // DM_ACL_DATA_SENT_IND_T, num_handles 2, one block of 16 records given in four pieces.
    Bytes record(24, 0);
    put16(record, 0, 0x2009);
    put16(record, 2, 0x0001);
    record[4] = 2;
    put32(record, 8, 0x00203000);
    Bytes block(64, 0);
    put16(block, 0, 0x28);
    put16(block, 2, 3);
    put16(block, 4, 0x29);
    put16(block, 6, 1);
    MemoryImage image;
    for (int piece = 3; piece >= 0; --piece)
        image.add(0x00203000 + 16 * piece, Bytes(block.begin() + 16 * piece, block.begin() + 16 * piece + 16));
    Decoder d;
    std::string expected = lines({"DM_ACL_DATA_SENT_IND_T", "\ttype =  2009", "\tphandle =  01",
                                  "\tnum_handles =  02", "\tHANDLE_COMPLETE_T", "\t\thandle =  28",
                                  "\t\tnum_completed =  03", "\tHANDLE_COMPLETE_T", "\t\thandle =  29",
                                  "\t\tnum_completed =  01"});
    for (int i = 2; i < 16; ++i)
        expected += lines({"\tHANDLE_COMPLETE_T", "\t\thandle =  00", "\t\tnum_completed =  00"});
    EXPECT_EQ(d.decode(Interface::dm, 0x2009, record, image, &kStamp), kHeader + expected);
}

// ---- Codes, records and pointers that decode without an error

TEST(Decode, UnknownCodesGiveTheNoMatchText) {
    const std::string no_match = "ERROR: none of the prim types matched, default reached \n";
    Decoder d;
    EXPECT_EQ(d.decode(Interface::sdp, 0x000d, Bytes{}, MemoryImage{}, &kStamp), no_match);
    EXPECT_EQ(d.decode(Interface::sdp, 0x0000, Bytes{0x00}, MemoryImage{}), no_match);
    EXPECT_EQ(d.decode(Interface::dm, 0x2807, Bytes(64, 0xff), MemoryImage{}), no_match);
    EXPECT_EQ(d.decode(Interface::rfcomm, 0xffff, Bytes{}, MemoryImage{}), no_match);
}

TEST(Decode, NullPointersPrintNothingAndNeedNoImage) {
    Bytes run(12, 0);
    put16(run, 0, 0x000b);
    put16(run, 4, 5);  // five bytes behind a null pointer
    Decoder d;
    EXPECT_EQ(d.decode(Interface::l2cap, 0x000b, run, MemoryImage{}, &kStamp),
              kHeader + lines({"L2CA_DATAWRITE_REQ_T", "\ttype =  0b", "\tcid =  00", "\tlength =  05", ""}));
    Bytes blocks(24, 0);
    put16(blocks, 0, 0x2009);
    blocks[4] = 17;  // two blocks, both null
    EXPECT_EQ(d.decode(Interface::dm, 0x2009, blocks, MemoryImage{}, &kStamp),
              kHeader + lines({"DM_ACL_DATA_SENT_IND_T", "\ttype =  2009", "\tphandle =  00",
                               "\tnum_handles =  11"}));
}

TEST(Decode, AZeroCountReadsNoPointer) {
    Bytes record(12, 0);
    put16(record, 0, 0x000b);
    put32(record, 8, 0x00700000);  // addresses nothing in the image
    Decoder d;
    EXPECT_EQ(error_of(Interface::l2cap, 0x000b, record, MemoryImage{}), "");
}

TEST(Decode, ALongerRecordIsFine) {
    Bytes record(40, 0);
    put16(record, 0, 0x2004);
    EXPECT_EQ(error_of(Interface::dm, 0x2004, record, MemoryImage{}), "");
}

TEST(Decode, NameFragmentsThatTheImageHoldsInFull) {
    Bytes record(36, 0);
    put16(record, 0, 0x0c13);
    put32(record, 4, 0x00600000);
    put32(record, 8, 0x00610000);
    put32(record, 32, 0x00670000);
    MemoryImage image;
    // Fragment 0 is filled to 32 bytes and the image ends right after it; fragment 1 ends at a
    // zero byte that is the image's last byte.
    image.add(0x00600000, Bytes(32, 'x'));
    image.add(0x00610000, Bytes{'y', 'z', 0});
    Decoder d;
    const std::string text = d.decode(Interface::dm, 0x0c13, record, image, &kStamp);
    EXPECT_NE(text.find("\tname_part = " + std::string(32, 'x') + "yz\n"), std::string::npos) << text;
}

// ---- What is missing

TEST(DecodeError, ARecordShorterThanItsCodeNeeds) {
    Bytes record(16, 0);
    put16(record, 0, 0x2004);
    EXPECT_EQ(error_of(Interface::dm, 0x2004, record, MemoryImage{}),
              "dm 0x2004 DM_ACL_CONNECT_CFM_T: record needs 17 bytes; it has 16");
    EXPECT_EQ(error_of(Interface::l2cap, 0x000b, Bytes{0x0b, 0x00}, MemoryImage{}),
              "l2cap 0x000b L2CA_DATAWRITE_REQ_T: record needs 12 bytes; it has 2");
    EXPECT_EQ(error_of(Interface::dm, 0x0c3a, Bytes{}, MemoryImage{}),
              "dm 0x0c3a HCI_WRITE_CURRENT_IAC_LAP_T: record needs 32 bytes; it has 0");
}

TEST(DecodeError, ABlockThatTheImageLacksOrHoldsInPart) {
    Bytes record(24, 0);
    put16(record, 0, 0x2009);
    record[4] = 1;
    put32(record, 8, 0x00203000);
    EXPECT_EQ(error_of(Interface::dm, 0x2009, record, MemoryImage{}),
              "dm 0x2009 DM_ACL_DATA_SENT_IND_T: pointer at offset 8 = 0x00203000 needs 64 bytes; "
              "the image has none there");
    MemoryImage image;
    image.add(0x00203000, Bytes(20, 0));
    EXPECT_EQ(error_of(Interface::dm, 0x2009, record, image),
              "dm 0x2009 DM_ACL_DATA_SENT_IND_T: pointer at offset 8 = 0x00203000 needs 64 bytes; "
              "the image has 20 there");
    // The pointer may address the middle of a block: what counts is what lies after it.
    MemoryImage middle;
    middle.add(0x00202ff0, Bytes(0x4f, 0));
    EXPECT_EQ(error_of(Interface::dm, 0x2009, record, middle),
              "dm 0x2009 DM_ACL_DATA_SENT_IND_T: pointer at offset 8 = 0x00203000 needs 64 bytes; "
              "the image has 63 there");
    middle.add(0x0020303f, Bytes{0});
    EXPECT_EQ(error_of(Interface::dm, 0x2009, record, middle), "");
}

TEST(DecodeError, TheSecondBlockOfAccessCodes) {
    Bytes record(32, 0);
    put16(record, 0, 0x0c3a);
    record[4] = 17;
    put32(record, 8, 0x00500000);
    put32(record, 12, 0x00510000);
    MemoryImage image;
    image.add(0x00500000, Bytes(64, 0));
    EXPECT_EQ(error_of(Interface::dm, 0x0c3a, record, image),
              "dm 0x0c3a HCI_WRITE_CURRENT_IAC_LAP_T: pointer at offset 12 = 0x00510000 needs 4 bytes; "
              "the image has none there");
    image.add(0x00510000, Bytes(3, 0));
    EXPECT_EQ(error_of(Interface::dm, 0x0c3a, record, image),
              "dm 0x0c3a HCI_WRITE_CURRENT_IAC_LAP_T: pointer at offset 12 = 0x00510000 needs 4 bytes; "
              "the image has 3 there");
}

TEST(DecodeError, AByteRunLongerThanItsBlock) {
    Bytes record(12, 0);
    put16(record, 0, 0x000b);
    put16(record, 4, 3);
    put32(record, 8, 0x00300000);
    MemoryImage image;
    image.add(0x00300000, Bytes{0x01, 0x02});
    EXPECT_EQ(error_of(Interface::l2cap, 0x000b, record, image),
              "l2cap 0x000b L2CA_DATAWRITE_REQ_T: pointer at offset 8 = 0x00300000 needs 3 bytes; "
              "the image has 2 there");
}

TEST(DecodeError, ANameFragmentWithoutItsEnd) {
    Bytes record(48, 0);
    put16(record, 0, 0x0429);
    put32(record, 16, 0x00400000);
    put32(record, 20, 0x00410000);
    MemoryImage image;
    image.add(0x00400000, Bytes{'K', 'i', 't', 'c', 'h'});
    EXPECT_EQ(error_of(Interface::dm, 0x0429, record, image),
              "dm 0x0429 DM_HCI_REMOTE_NAME_COMPLETE_T: pointer at offset 16 = 0x00400000 needs a name "
              "fragment of 32 bytes or one ended by a zero byte; the image has 5 there and no zero byte");
    // A full fragment 0 makes the decoder go on to fragment 1, which the image lacks.
    MemoryImage full;
    full.add(0x00400000, Bytes(32, 'k'));
    EXPECT_EQ(error_of(Interface::dm, 0x0429, record, full),
              "dm 0x0429 DM_HCI_REMOTE_NAME_COMPLETE_T: pointer at offset 20 = 0x00410000 needs a name "
              "fragment of 32 bytes or one ended by a zero byte; the image has none there");
}

TEST(DecodeError, TheLastNameFragmentEndsAt24Bytes) {
    Bytes record(48, 0);
    put16(record, 0, 0x0429);
    MemoryImage image;
    for (std::uint32_t i = 0; i < 8; ++i) {
        put32(record, 16 + 4 * i, 0x00400000 + 0x1000 * i);
        image.add(0x00400000 + 0x1000 * i, Bytes(i == 7 ? 24 : 32, static_cast<std::uint8_t>('a' + i)));
    }
    Decoder d;
    const std::string text = d.decode(Interface::dm, 0x0429, record, image, &kStamp);
    std::string name;
    for (int i = 0; i < 8; ++i) name += std::string(i == 7 ? 24 : 32, static_cast<char>('a' + i));
    EXPECT_EQ(text.substr(text.size() - name.size() - 14), "\tname_part = " + name + "\n");
}

// debug_customDebug chooses what it reads by the record's own first field, so a record that
// another code's decoder renders must hold what that field selects.
TEST(DecodeError, TheRecordsOwnFirstFieldChoosesTheNameArray) {
    Bytes record(36, 0);
    put16(record, 0, 0x0429);  // but decoded as HCI_CHANGE_LOCAL_NAME_T
    EXPECT_EQ(error_of(Interface::dm, 0x0c13, record, MemoryImage{}),
              "dm 0x0c13 HCI_CHANGE_LOCAL_NAME_T: record needs 48 bytes for the name-part pointers at "
              "offsets 16 to 47 that its first field 0x0429 selects; it has 36");
    record.resize(48);
    EXPECT_EQ(error_of(Interface::dm, 0x0c13, record, MemoryImage{}), "");
    // An unknown first field reads nothing more.
    Bytes other(36, 0);
    put16(other, 0, 0x1234);
    Decoder d;
    const std::string text = d.decode(Interface::dm, 0x0c13, other, MemoryImage{}, &kStamp);
    EXPECT_EQ(text.substr(text.size() - 36), "Unknown customDebug Primitive type\n\n");
}

TEST(DecodeError, NamesTheInterfaceTheCodeAndThePrimitive) {
    try {
        Decoder d;
        d.decode(Interface::l2cap, 0x000b, Bytes{0x0b, 0x00}, MemoryImage{});
        FAIL() << "no error";
    } catch (const DecodeError& e) {
        EXPECT_EQ(e.iface(), Interface::l2cap);
        EXPECT_EQ(e.code(), 0x000b);
        EXPECT_EQ(e.detail(), "record needs 12 bytes; it has 2");
        const std::runtime_error& base = e;
        EXPECT_STREQ(base.what(), "l2cap 0x000b L2CA_DATAWRITE_REQ_T: record needs 12 bytes; it has 2");
    }
}

// ---- The same text as in-process, over every code of every interface

// An address space that serves every pointer with fresh guarded bytes below 4 GiB, writes the
// bytes' real address into the pointer field, and keeps each block for the image. After one
// pass the record and its blocks form a complete picture that both ways of decoding can read.
class Picture final : public riz::detail::AddressSpace {
public:
    Picture(std::uint32_t seed, bool null_pointers) : rng_(seed), null_(null_pointers) {}

    const unsigned char* bytes(const unsigned char* field, std::uint32_t, std::uint32_t len) override {
        auto& block = fresh(len);
        for (std::uint32_t i = 0; i < len; ++i) block.put8(i, static_cast<std::uint8_t>(rng_()));
        return settle(field, block, len);
    }
    const unsigned char* string(const unsigned char* field, std::uint32_t, std::uint32_t limit,
                                std::uint32_t& len) override {
        // Either a full fragment or a shorter one ended by a zero byte: exactly what it needs.
        const std::uint32_t n = static_cast<std::uint32_t>(rng_() % (limit + 1));
        const std::uint32_t size = n == limit ? limit : n + 1;
        auto& block = fresh(size);
        for (std::uint32_t i = 0; i < n; ++i) block.put8(i, static_cast<std::uint8_t>('A' + rng_() % 58));
        if (n < limit) block.put8(n, 0);
        len = n;
        return settle(field, block, size);
    }
    const MemoryImage& image() const { return image_; }
    // The image with block `k` one byte short.
    MemoryImage image_without_last_byte_of(std::size_t k) const {
        MemoryImage image;
        for (std::size_t i = 0; i < blocks_.size(); ++i) {
            const Guarded& b = *blocks_[i];
            const std::size_t len = sizes_[i] - (i == k ? 1 : 0);
            image.add(b.address(), Bytes(b.data(), b.data() + len));
        }
        return image;
    }
    std::size_t follows() const { return blocks_.size(); }

private:
    Guarded& fresh(std::uint32_t len) {
        blocks_.push_back(std::make_unique<Guarded>(len == 0 ? 1 : len));
        return *blocks_.back();
    }
    const unsigned char* settle(const unsigned char* field, Guarded& block, std::uint32_t len) {
        const std::uint32_t address = null_ ? 0 : block.address();
        std::memcpy(const_cast<unsigned char*>(field), &address, 4);  // little-endian host
        if (!null_) image_.add(block.address(), Bytes(block.data(), block.data() + len));
        sizes_.push_back(len);
        return block.data();
    }

    std::mt19937 rng_;
    bool null_;
    std::vector<std::unique_ptr<Guarded>> blocks_;
    std::vector<std::size_t> sizes_;
    MemoryImage image_;
};

riz::detail::Interface core(Interface iface) {
    switch (iface) {
    case Interface::dm: return riz::detail::Interface::dm;
    case Interface::l2cap: return riz::detail::Interface::l2cap;
    case Interface::rfcomm: return riz::detail::Interface::rfcomm;
    case Interface::sdp: return riz::detail::Interface::sdp;
    }
    return riz::detail::Interface::dm;
}

TEST(DecodeSweep, EveryCodeDecodesAsInProcessWithACompleteImage) {
    static const char kText[] = "08:15:00.250";
    const Timestamp stamp = at(8, 15, 0, 250);
    std::size_t codes = 0, followed = 0;
    for (Interface iface : rizorod::kInterfaces) {
        for (const rizorod::Primitive& p : rizorod::primitives(iface)) {
            ++codes;
            for (std::uint32_t seed = 1; seed <= 4; ++seed) {
                SCOPED_TRACE(std::string(rizorod::interface_name(iface)) + " " + p.name + " seed " +
                             std::to_string(seed));
                // Random contents that begin with the code, as a real record does.
                Guarded record(p.size);
                std::mt19937 rng(seed * 7919u + p.code);
                for (std::size_t i = 0; i < p.size; ++i) record.put8(i, static_cast<std::uint8_t>(rng()));
                if (p.size >= 2) record.put16(0, p.code);
                const bool null_pointers = seed == 4;
                Picture picture(seed, null_pointers);
                RizOrodOzido in_process;
                {
                    riz::detail::ScopedAddressSpace space(picture);
                    riz::test::decode(in_process, core(iface), p.code, record.data());
                }
                followed += picture.follows();
                std::string expected;
                {
                    riz::detail::ScopedStamp pinned(kText, 12);
                    expected = riz::test::decode(in_process, core(iface), p.code, record.data());
                }
                Decoder d;
                const Bytes bytes(record.data(), record.data() + p.size);
                std::string got;
                ASSERT_NO_THROW(got = d.decode(iface, p.code, bytes, picture.image(), &stamp));
                EXPECT_EQ(got, expected);
                EXPECT_EQ(got.substr(0, 37), "---- 08:15:00.250 ------------------\n");
            }
        }
    }
    EXPECT_GT(codes, 0u);
    EXPECT_GT(followed, 0u);
}

// With any one followed block one byte short, or the record one byte short, decoding fails with
// a DecodeError, never with a wrong text or a fault.
TEST(DecodeSweep, EveryReadIsCheckedFirst) {
    for (Interface iface : rizorod::kInterfaces) {
        for (const rizorod::Primitive& p : rizorod::primitives(iface)) {
            SCOPED_TRACE(std::string(rizorod::interface_name(iface)) + " " + p.name);
            Guarded record(p.size);
            std::mt19937 rng(p.code);
            for (std::size_t i = 0; i < p.size; ++i) record.put8(i, static_cast<std::uint8_t>(rng()));
            if (p.size >= 2) record.put16(0, p.code);
            Picture picture(p.code, false);
            RizOrodOzido in_process;
            {
                riz::detail::ScopedAddressSpace space(picture);
                riz::test::decode(in_process, core(iface), p.code, record.data());
            }
            const Bytes bytes(record.data(), record.data() + p.size);
            Decoder d;
            EXPECT_NO_THROW(d.decode(iface, p.code, bytes, picture.image()));
            for (std::size_t k = 0; k < picture.follows(); ++k)
                EXPECT_THROW(d.decode(iface, p.code, bytes, picture.image_without_last_byte_of(k)), DecodeError)
                    << "block " << k;
            if (picture.follows() != 0) {
                EXPECT_THROW(d.decode(iface, p.code, bytes, MemoryImage{}), DecodeError);
            }
            ASSERT_GT(p.size, 0u);
            EXPECT_THROW(d.decode(iface, p.code, Bytes(bytes.begin(), bytes.end() - 1), picture.image()),
                         DecodeError);
        }
    }
}

}  // namespace
