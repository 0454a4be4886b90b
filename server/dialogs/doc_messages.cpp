#include "server/dialogs/doc_messages.h"

#include "platform/messagebox.h"
#include "server/core/korrind_doc.h"

namespace korrind {

int ShowDocResult(const DocResult& said) {
    for (const DocMessage& message : said.messages)
        MessageBox(message.text, kKorrindTitle, MB_OK | MB_ICONEXCLAMATION);
    return said.result;
}

} // namespace korrind
