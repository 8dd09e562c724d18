#pragma once

#include "InstrumentFeature.h"

#include <QByteArray>

#include <memory>

namespace kalent {

class Timer;

// The instrument's database of test systems: "R" is answered with the page
// count, each "r" with the next page, and "M"+count starts a write that asks for
// each page with "m", takes it as "m"+528 bytes, answers a last "m" after the
// final page and then holds what it received.
class DatabaseCommands : public InstrumentFeature
{
public:
    DatabaseCommands();
    ~DatabaseCommands() override;

    int consume(InstrumentControl &instrument, const QByteArray &heard) override;
    // Switched off in the middle of a write: the old database stays.
    void poweredOff(InstrumentControl &) override { m_expected = 0; }

    // The database as an image (header and pages).
    const QByteArray &image() const { return m_image; }
    void setImage(const QByteArray &image) { m_image = image; }

    // Failure knobs for reads. Stops answering "r" after this many pages of a
    // read (-1: never stops).
    void stopAfterPages(int pages) { m_stopAfter = pages; }
    // Sends the page-count reply in two pieces: its first firstBytes bytes,
    // the rest delayMs later (firstBytes -1: in one piece).
    void splitCountReply(int firstBytes, int delayMs)
    {
        m_splitAt = firstBytes;
        m_splitDelayMs = delayMs;
    }
    // Announces this page count instead of the pages it holds (-1: the truth).
    void announcePages(int pages) { m_announced = pages; }

    // Failure knobs for writes. Answers page pageNo (from 1) with "x" instead of
    // "m" and drops the write, the old database kept (0: takes every page).
    void refusePage(int pageNo) { m_refusePage = pageNo; }
    // Falls silent after taking this many pages of a write (-1: never).
    void holdWriteAfterPages(int pages) { m_holdAfter = pages; }
    // Takes every page of a write but stores it without page pageNo (from 1), as
    // a faulty memory would (0: stores all).
    void dropPageWhenStoring(int pageNo) { m_dropPage = pageNo; }
    // The pages the write under way has brought so far.
    int pagesReceived() const;

private:
    QByteArray m_image;
    int m_nextPage = 0;
    int m_expected = 0; // pages of the write under way; 0 when none
    QByteArray m_received;
    int m_stopAfter = -1;
    int m_splitAt = -1;
    int m_splitDelayMs = 0;
    int m_announced = -1;
    int m_refusePage = 0;
    int m_holdAfter = -1;
    int m_dropPage = 0;
    std::unique_ptr<Timer> m_splitTimer;
    QByteArray m_splitRest;
};

} // namespace kalent
