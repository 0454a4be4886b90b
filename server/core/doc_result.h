// What a table operation of the document has to tell its caller: the
// result the caller goes by and the messages for the operator, in the order
// they are to be seen. The document shows nothing itself, so the same
// operations serve the windowed server (each message in its own box,
// "Korrind Application", OK, exclamation mark) and a headless tool (each
// message on standard error).
#pragma once

#include <string>
#include <utility>
#include <vector>

// Which message it is; the text is what the operator reads, exactly.
enum class DocMessageId {
    insertFailed,      // "InsertHAEntry exception"
    deleteFailed,      // "DeleteHAEntry exception"
    accessDenied,      // "Access denied to file <table path>"
    accessProblem,     // "Problem accessing file, code=<cause>"
    createFailed,      // "Unable to create bootptab file."
    readFailed,        // "Problem reading bootptab file"
    readInterrupted,   // "Exception while reading bootptab file"
    entryNotFound,     // "Entry not found for del request", maybe followed by
                       // "\n\nNot written to the bootptab file:" and the edits
    notWritten,        // "Not written to the bootptab file:" and the edits, one
                       // per line (the file changed and they no longer fit)
    tableCreateFailed, // "Problem creating bootptab file"
    writeFailed,       // "Exception while writing bootptab file"
};

struct DocMessage {
    DocMessageId id;
    std::string text;
    bool operator==(const DocMessage&) const = default;
};

struct DocResult {
    // As the operation documents it: 1 (TRUE) done, 0 (FALSE) failed or,
    // for ApplyChanges, nothing to do.
    int result = 1;
    // Empty when there is nothing to tell; a result of 1 may come with
    // messages too (edits that could not be made while others were written).
    std::vector<DocMessage> messages;

    // A failure with one message.
    static DocResult Failure(DocMessageId id, std::string text) {
        DocResult said;
        said.result = 0;
        said.Add(id, std::move(text));
        return said;
    }

    bool ok() const { return result != 0; }
    void Add(DocMessageId id, std::string text) { messages.push_back({id, std::move(text)}); }
    // The texts alone, in order.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const DocMessage& message : messages)
            texts.push_back(message.text);
        return texts;
    }
};
