// The texts and decisions of a transfer that need no screen: the progress dialog's numbers
// (grouped byte counts, speed, remaining time, percentage), the size a list row shows, and the
// checks the upload and download flows make before anything starts. Composed texts come in the
// installed language.
//
// Sizes on the wire and in the transfer record are unsigned 32-bit, so they are printed and
// parsed unsigned: a file of 2 GiB or more keeps its real size. Free space is compared in 64 bits.
// Threads: any.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace tavik::app {

// Transfer messages shown by the flows.
inline const QString kNoUploadSelectionText =
    QStringLiteral("선택된 파일이 없습니다. 먼저 업로드 할 파일을 선택 하십시오");
inline const QString kNoDownloadSelectionText =
    QStringLiteral("선택된 파일이 없습니다. 먼저 다운로드 할 파일을 선택 하십시오");
inline const QString kFolderUploadText =
    QStringLiteral("폴더는 업로드 할 수 없습니다. 파일을 선택하신 후 업로드 하십시오");
inline const QString kFolderDownloadText =
    QStringLiteral("폴더는 다운로드 할 수 없습니다. 파일을 선택하신 후 다운로드 하십시오");
inline const QString kNoSpaceText = QStringLiteral("선택하신 디스크의 충분한 공간이 없습니다.");
inline const QString kNoSpaceQuestionText =
    QStringLiteral("선택하신 디스크의 충분한 공간이 없습니다. 그래도 계속 진행하겠습니까?");
inline const QString kUploadStoppedNoSpaceText =
    QStringLiteral("선택하신 디스크에 공간이 충분한 공간이 없어서 중단되었습니다. ");
// Our own, for what the transfer record cannot carry.
inline const QString kPathTooLongText =
    QStringLiteral("파일 경로가 너무 길어서 전송할 수 없습니다. 더 짧은 경로를 사용하십시오.");
inline const QString kFileTooLargeText = QStringLiteral("4GB 이상인 파일은 전송할 수 없습니다.");
// "\"%s\" 에 파일을 만들 수 없습니다." with the device folder: no file can be made there.
QString CannotCreateFileText(const QString& devicePath);

// The transfer record's path buffers hold this many bytes, the terminating zero included.
inline constexpr int kTransferPathBytes = 512;

// "1,234,567": the decimal digits with a "," before every group of three from the right.
QString GroupDigits(uint64_t value);

// Integer part of done ÷ total × 100, at most 100; a zero total counts as done (100).
int TransferPercent(uint64_t done, uint64_t total);

// "%s / %s byte" with both counts grouped.
QString BytesText(uint64_t done, uint64_t total);

// Bytes per millisecond (shown as kilobytes per second); nullopt while elapsed is 0.
std::optional<double> TransferSpeed(uint64_t done, uint32_t elapsedMs);
// "%5.2f k/s"; empty without a speed.
QString SpeedText(std::optional<double> speed);

// Whole seconds left at the speed; nullopt when nothing can be said (no speed, or speed 0 while
// bytes remain). Nothing left is 0 seconds.
std::optional<uint32_t> RemainingSeconds(uint64_t done, uint64_t total,
                                         std::optional<double> speed);
// "%d시간 %d분 %d초" from one hour on, "%d초" under a minute, else "%d분 %d초"; empty for nullopt.
QString RemainingText(std::optional<uint32_t> seconds);

// The same figures over a whole batch, whose byte counts may pass 32 bits.
int BatchPercent(uint64_t done, uint64_t total);
QString BatchBytesText(uint64_t done, uint64_t total);
std::optional<double> BatchSpeed(uint64_t done, uint64_t elapsedMs);
std::optional<uint32_t> BatchRemainingSeconds(uint64_t done, uint64_t total,
                                              std::optional<double> speed);

// The size a file row shows, in full.
QString SizeText(uint64_t size);
// The size of a row's size text: the unsigned number, also read from an older signed 32-bit
// form ("-1" is 4294967295); nullopt for anything else ("폴더", empty, garbage).
std::optional<uint64_t> ParseSizeText(const QString& text);

// Upload: whether to ask before sending size bytes to a disk of free blocks of block bytes
// (the product in 64 bits, so disks of 4 GiB or more never wrap).
bool UploadNeedsSpaceQuestion(uint32_t block, uint32_t freeBlocks, uint64_t size);
// Download: whether the device's free bytes refuse at once (0, or exactly 1024, as the
// handheld reported a full store).
bool DownloadRefusedForSpace(uint64_t freeBytes);
bool DownloadNeedsSpaceQuestion(uint64_t freeBytes, uint64_t size);

// The text in the system ANSI code page, or nullopt when it needs more than a transfer buffer
// (kTransferPathBytes with its terminating zero).
std::optional<std::string> TransferPathBytes(const QString& path);

} // namespace tavik::app
