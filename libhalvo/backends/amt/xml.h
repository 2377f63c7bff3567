// Reading SOAP by namespace with libxml2: the AMT client's replies, and the
// envelopes the tests' fake firmware receives. Header-only, so that the
// fake needs nothing of the library's hidden internals.
#ifndef HALVO_AMT_XML_H
#define HALVO_AMT_XML_H

#include "../../text.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace halvo::xml
{

struct DocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

// No network, no DTD and no entity substitution: the text comes from the
// network and must reach no further than itself. SOAP forbids a document
// type declaration, so one makes the document unreadable.
inline Doc read(const std::string &text)
{
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX))
        return nullptr;
    Doc doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                          XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    return doc && !doc->intSubset ? std::move(doc) : nullptr;
}

// Prefixes vary between senders; the namespace URI is what names an element.
inline bool is(const xmlNode *node, const char *ns, const char *local)
{
    return node && node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           std::strcmp(reinterpret_cast<const char *>(node->ns->href), ns) == 0 &&
           std::strcmp(reinterpret_cast<const char *>(node->name), local) == 0;
}

inline const xmlNode *child(const xmlNode *parent, const char *ns, const char *local)
{
    for (const xmlNode *c = parent ? parent->children : nullptr; c; c = c->next)
        if (is(c, ns, local))
            return c;
    return nullptr;
}

// The element's text, surrounding white space trimmed; "" for none.
inline std::string text(const xmlNode *node)
{
    if (!node)
        return "";
    xmlChar *content = xmlNodeGetContent(node);
    std::string s = content ? reinterpret_cast<const char *>(content) : "";
    xmlFree(content);
    return trim(s);
}

} // namespace halvo::xml

#endif
