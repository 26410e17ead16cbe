#include "ProtocolRecords.h"

#include <algorithm>
#include <cstring>

namespace {

// Characters per text block (2 MB); a record larger than that gets a block of its own.
constexpr size_t BlockCharacters = size_t(1) << 20;

} // namespace

std::uint32_t TProtocolRecords::Intern(QStringView name) {
    // Looked up without building a QString for a name already known (the usual case).
    const std::u16string_view key(name.utf16(), size_t(name.size()));
    const auto found = FNameIndex.find(key);
    if (found != FNameIndex.end())
        return found->second;
    const auto index = std::uint32_t(FNames.size());
    FNames.push_back(name.toString());
    const QString& stored = FNames.back();
    FNameIndex.emplace(std::u16string_view(QStringView(stored).utf16(), size_t(stored.size())), index);
    return index;
}

char16_t* TProtocolRecords::Reserve(size_t characters, std::uint32_t& block, std::uint32_t& offset) {
    if (FBlocks.empty() || FBlockUsed + characters > FBlockSizes.back()) {
        const size_t size = std::max(BlockCharacters, characters);
        FBlocks.push_back(std::make_unique<char16_t[]>(size));
        FBlockSizes.push_back(size);
        FBlockUsed = 0;
    }
    block = std::uint32_t(FBlocks.size() - 1);
    offset = std::uint32_t(FBlockUsed);
    FBlockUsed += characters;
    return FBlocks.back().get() + offset;
}

void TProtocolRecords::Append(QStringView program, QStringView user, QStringView date, QStringView field,
                              QStringView oldValue, QStringView newValue) {
    TRecord r{};
    r.Program = Intern(program);
    r.User = Intern(user);
    r.Field = Intern(field);
    r.DateLength = std::uint32_t(date.size());
    r.OldLength = std::uint32_t(oldValue.size());
    r.NewLength = std::uint32_t(newValue.size());
    char16_t* out = Reserve(size_t(date.size() + oldValue.size() + newValue.size()), r.Block, r.Offset);
    for (QStringView text : {date, oldValue, newValue}) {
        if (!text.isEmpty())
            std::memcpy(out, text.utf16(), size_t(text.size()) * sizeof(char16_t));
        out += text.size();
    }
    FRecords.push_back(r);
}

QStringView TProtocolRecords::Text(qsizetype record, int column) const {
    const TRecord& r = FRecords[size_t(record)];
    switch (column) {
    case colProgram:
        return FNames[r.Program];
    case colUser:
        return FNames[r.User];
    case colField:
        return FNames[r.Field];
    default:
        break;
    }
    const char16_t* text = FBlocks[r.Block].get() + r.Offset;
    if (column == colDate)
        return QStringView(text, qsizetype(r.DateLength));
    text += r.DateLength;
    if (column == colOldValue)
        return QStringView(text, qsizetype(r.OldLength));
    if (column == colNewValue)
        return QStringView(text + r.OldLength, qsizetype(r.NewLength));
    return {};
}

int TProtocolRecords::NameOf(qsizetype record, int column) const {
    const TRecord& r = FRecords[size_t(record)];
    switch (column) {
    case colProgram:
        return int(r.Program);
    case colUser:
        return int(r.User);
    case colField:
        return int(r.Field);
    default:
        return -1;
    }
}

size_t TProtocolRecords::MemoryBytes() const {
    size_t bytes = FRecords.capacity() * sizeof(TRecord);
    for (size_t size : FBlockSizes)
        bytes += size * sizeof(char16_t);
    for (const QString& name : FNames)
        bytes += sizeof(QString) + size_t(name.capacity()) * sizeof(QChar);
    // The look-up table: a node (key, value, link) per entry and a bucket pointer.
    bytes += FNameIndex.size() * (sizeof(std::u16string_view) + 2 * sizeof(void*)) +
             FNameIndex.bucket_count() * sizeof(void*);
    return bytes;
}
