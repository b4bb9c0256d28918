// Whom the quarantine trusts and what it keeps: the decisions beneath the
// owners and permissions Windows reports (which only real Windows can show),
// the store's running total and what makes room, and the writer's half of
// the entry format against its reader.
#include "quarantine_format/EntryHeader.h"
#include "quarantine_format/Ownership.h"
#include "quarantine_format/Payload.h"
#include "quarantine_format/StoreLedger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quendix::quarantine;

namespace {

FolderFacts sound()
{
    FolderFacts f;
    f.isFolder = true;
    f.owner = Principal::Administrators;
    f.othersAllowed = false;
    f.protectedDacl = true;
    return f;
}

std::vector<std::string> names(const std::vector<StoreLedger::Entry>& entries)
{
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back(e.name);
    return out;
}

} // namespace

TEST(QuarantineOwnership, OnlySystemAndAdministratorsAreTrusted)
{
    EXPECT_TRUE(isTrustedOwner(Principal::System));
    EXPECT_TRUE(isTrustedOwner(Principal::Administrators));
    EXPECT_FALSE(isTrustedOwner(Principal::Other));
    EXPECT_EQ(whyEntryPassedOver(Principal::Administrators), "");
    EXPECT_NE(whyEntryPassedOver(Principal::Other).find("not made by the scanner"), std::string::npos);
}

TEST(QuarantineOwnership, WhatBecomesOfAStoreFolder)
{
    EXPECT_EQ(stepForStoreFolder(sound()), FolderStep::Use);
    FolderFacts system = sound();
    system.owner = Principal::System;
    EXPECT_EQ(stepForStoreFolder(system), FolderStep::Use);

    // Ours, but open to others or inheriting from above: tightened in place.
    FolderFacts open = sound();
    open.othersAllowed = true;
    EXPECT_EQ(stepForStoreFolder(open), FolderStep::Tighten);
    FolderFacts inheriting = sound();
    inheriting.protectedDacl = false;
    EXPECT_EQ(stepForStoreFolder(inheriting), FolderStep::Tighten);

    // Someone else's: moved aside, however tight its permissions look now.
    FolderFacts planted = sound();
    planted.owner = Principal::Other;
    EXPECT_EQ(stepForStoreFolder(planted), FolderStep::SetAside);
    planted.othersAllowed = true;
    EXPECT_EQ(stepForStoreFolder(planted), FolderStep::SetAside);

    // A link or a file is never used, nor moved (the move could act on what
    // a link leads to), whoever made it.
    for (FolderFacts f : {sound(), planted}) {
        f.isLink = true;
        EXPECT_EQ(stepForStoreFolder(f), FolderStep::Refuse);
        f.isLink = false;
        f.isFolder = false;
        EXPECT_EQ(stepForStoreFolder(f), FolderStep::Refuse);
    }
}

TEST(QuarantineOwnership, TheWindowSaysWhyItReadsNoFolder)
{
    EXPECT_EQ(whyNotTrusted(sound()), "");
    FolderFacts f = sound();
    f.owner = Principal::Other;
    EXPECT_EQ(whyNotTrusted(f), "it is owned by a user other than SYSTEM or the Administrators");
    f = sound();
    f.othersAllowed = true;
    EXPECT_EQ(whyNotTrusted(f), "users other than administrators may access it");
    f = sound();
    f.isLink = true;
    EXPECT_EQ(whyNotTrusted(f), "it is a link or not a folder");
    EXPECT_EQ(setAsideName("Quarantine", "20261208101500"), "Quarantine.untrusted-20261208101500");
}

TEST(QuarantineLedger, KeepsTheTotalAsEntriesComeAndGo)
{
    StoreLedger ledger;
    ledger.add("b.qdq", 4096, 20);
    ledger.add("a.qdq", 8192, 10);
    ledger.add("c.qdq", 4096, 30);
    EXPECT_EQ(ledger.total(), 16384u);
    ledger.add("a.qdq", 4096, 10);   // counted anew, not twice
    EXPECT_EQ(ledger.total(), 12288u);
    EXPECT_EQ(ledger.count(), 3u);
    ledger.remove("b.qdq");
    ledger.remove("b.qdq");
    ledger.remove("never.qdq");
    EXPECT_EQ(ledger.total(), 8192u);
    EXPECT_EQ(ledger.count(), 2u);
}

TEST(QuarantineLedger, MakesRoomFromTheOldest)
{
    StoreLedger ledger;
    // Made in this order; the names alone would sort otherwise.
    ledger.add("z-first.qdq", 100, 1);
    ledger.add("a-second.qdq", 200, 2);
    ledger.add("m-third.qdq", 300, 3);
    ledger.add("b-same-time.qdq", 50, 3);

    auto fits = ledger.oldestToMakeRoom(350, 1000);
    ASSERT_TRUE(fits);
    EXPECT_TRUE(fits->empty());
    auto one = ledger.oldestToMakeRoom(400, 1000);
    ASSERT_TRUE(one);
    EXPECT_EQ(names(*one), (std::vector<std::string>{"z-first.qdq"}));
    auto three = ledger.oldestToMakeRoom(700, 1000);
    ASSERT_TRUE(three);
    EXPECT_EQ(names(*three), (std::vector<std::string>{"z-first.qdq", "a-second.qdq", "b-same-time.qdq"}));
    auto all = ledger.oldestToMakeRoom(1000, 1000);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 4u);
    // Larger than the whole limit: nothing is removed for it.
    EXPECT_FALSE(ledger.oldestToMakeRoom(1001, 1000));
    EXPECT_EQ(ledger.total(), 650u);
}

TEST(QuarantineFormat, TheWritersHeaderCannotGainALine)
{
    EntryHeader h;
    h.path = "C:\\a\r\nvirus=forged.com";
    h.size = 3;
    h.virus = "Name\r\naction=renamed";
    h.action = Action::Deleted;
    h.quarantined = 1;
    const std::string payload = encodePayload("abc");
    h.stored = payload.size();
    const std::string text = formatEntryHeader(h);
    const EntryHeader back = parseEntryHeader(text + payload, text.size() + payload.size());
    EXPECT_EQ(back.path, "C:\\a??virus=forged.com");
    EXPECT_EQ(back.virus, "Name??action=renamed");
    EXPECT_EQ(back.action, Action::Deleted);
}

TEST(QuarantineFormat, TheEncoderFedInPiecesGivesWhatTheDecoderReads)
{
    std::string original;
    for (int i = 0; i < 300000; ++i)
        original += static_cast<char>((i * 131) ^ (i >> 7));
    for (std::size_t piece : {std::size_t{1}, std::size_t{4097}, original.size()}) {
        SCOPED_TRACE(piece);
        std::string stored;
        PayloadEncoder encoder([&](const std::uint8_t* p, std::size_t n) { stored.append(reinterpret_cast<const char*>(p), n); });
        for (std::size_t at = 0; at < original.size(); at += piece)
            encoder.feed(reinterpret_cast<const std::uint8_t*>(original.data()) + at,
                         std::min(piece, original.size() - at));
        encoder.finish();
        EXPECT_EQ(encoder.stored(), stored.size());
        EXPECT_EQ(stored, encodePayload(original));
        std::string back;
        PayloadDecoder decoder(original.size(), [&](const std::uint8_t* p, std::size_t n) {
            back.append(reinterpret_cast<const char*>(p), n);
        });
        decoder.feed(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size());
        decoder.finish();
        EXPECT_TRUE(back == original);
    }
}
