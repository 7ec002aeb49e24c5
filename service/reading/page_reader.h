// What an HTML page says about its media, in document order: the references as written, for
// the caller to resolve, keep once and cut off (see ItemSink).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "service/reading/html_tokenizer.h"

namespace ql::service {

class ItemSink {
public:
    virtual ~ItemSink() = default;
    // A media reference (entities decoded, blanks trimmed).
    virtual void AddMedia(std::string_view ref) = 0;
    // The address of an <iframe>, whose page may hold media of its own.
    virtual void AddFrame(std::string_view ref) = 0;
    // A reference of the latest OpenGraph video or audio: kept unless a later type line of
    // the same structure says it is no media (DropGroup) before the next structure begins
    // (CloseGroup).
    virtual void AddGroupMedia(std::string_view ref) = 0;
    virtual void DropGroup() = 0;
    virtual void CloseGroup() = 0;
    // Whether nothing added from now on can change the answer: the reading may stop.
    virtual bool Full() const = 0;
};

// The first <base href> of an HTML page (entities decoded), or nothing.
std::optional<std::string> BaseHref(std::string_view page, ReadBudget& budget);

// The media references of an HTML page (UTF-8) into `sink`: <video>, <audio>, <amp-video>,
// <amp-audio> and their <source>, OpenGraph and Twitter streams, JSON-LD, <link
// rel="video_src">, <iframe>, links and attribute values that point at media, and addresses
// in scripts (a player's settings among them).
void ReadHtmlMedia(std::string_view page, ItemSink& sink, ReadBudget& budget);

// The same for a text body (a script, JSON, plain text): the media addresses in it.
void ReadTextMedia(std::string_view text, ItemSink& sink, ReadBudget& budget);

}  // namespace ql::service
