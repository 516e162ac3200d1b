#pragma once

// Lists of repeated records, the tables a page builds without <table> or roles: product cards,
// search results, thread lists. Internal to the engine; the live page's snapshot script follows
// the same rule (src/browser/page_snapshot.js), so that both documents list the same tables.
//
// The rule, element by element:
//  - Skipped, as if absent: head, script, style, template, noscript, select, option, optgroup,
//    datalist, textarea, iframe, object, and elements hidden by their own markup (the hidden
//    attribute, display: none in the style attribute, aria-hidden="true").
//  - Closed: <table> elements, grids (role table, grid or treegrid), menus (<nav>, role
//    navigation, menu or menubar) and elements outside the HTML namespace (svg, math). Nothing
//    inside one belongs to a record list.
//  - A piece is an element holding text of its own (a text node with more than blanks and
//    no-break spaces), or an <a> holding text anywhere: the first one met on the way down.
//    An element holding a record list is never a piece: the list is a table of its own.
//  - A record is an element child with a class, or an <li> or <article>, not a row (role row,
//    rowgroup or cell). Its signature is its tag and its class attribute.
//  - A parent (not a row) is a record list when the signature most of its record children
//    share (the first of equals) is shared by three or more, and each of them holds two pieces
//    or more. A menu whose items hold one link each is no list.
//  - The list's cells are the pieces of each record, put in columns by their place in the
//    record: the path of tag, class and rank among same-signature siblings from the record
//    down to the piece. Columns follow their first appearance, record after record; a record
//    without a piece has an empty cell there. A list has at most kMaxRecordColumns columns.
//  - A list inside a record of another list is a table of its own and is left out of the outer
//    list's pieces, as the outer records' walk stops at it.

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include <gumbo.h>

namespace tabvoro::capture::html {

// Past this many columns a list's further pieces are left out: rows of records that share
// little stay a bounded size, and a capture of a page stays linear in it.
inline constexpr std::size_t kMaxRecordColumns = 128;

struct RecordList {
    const GumboNode *parent = nullptr;
    std::size_t order = 0;  // the parent's place in document order, as the walk counted it
    std::vector<const GumboNode *> records;
};

// Finds the record lists of a tree, told of every node by a walk of the whole tree in document
// order: the walk calls text() for text nodes, enter() for each element it walks into and
// leave() after its children. Elements the walk does not enter (template contents, noscript)
// are skipped. Linear in the tree.
class RecordListFinder {
public:
    void text(const GumboNode *node);
    void enter(const GumboNode *element, std::size_t order);
    void leave(const GumboNode *element);

    // The lists, in the order their parents were left: sort them by `order` for document order.
    std::vector<RecordList> &lists() { return m_lists; }
    bool isPiece(const GumboNode *element) const { return m_pieces.contains(element); }
    bool isListParent(const GumboNode *element) const { return m_parents.contains(element); }
    bool isRecord(const GumboNode *element) const { return m_records.contains(element); }

private:
    struct Open {
        const GumboNode *element;
        std::size_t order;
        std::size_t kidsBegin;
        bool ownText = false;
    };
    struct Kid {
        const GumboNode *element;
        unsigned char pieces;  // 0, 1, or 2 for two or more
        bool hasText;
        bool holdsList;
        bool recordLike;
    };
    void close();

    std::vector<Open> m_open;
    std::vector<Kid> m_kids;
    const GumboNode *m_closedAt = nullptr;  // inside a skipped or closed element until it is left
    std::vector<RecordList> m_lists;
    std::unordered_set<const GumboNode *> m_pieces;
    std::unordered_set<const GumboNode *> m_parents;
    std::unordered_set<const GumboNode *> m_records;
};

// A list's cells, row by row: `columns` a row, nullptr where a record lacks the piece.
struct RecordCells {
    std::size_t columns = 0;
    std::vector<const GumboNode *> cells;
};
RecordCells recordCells(const RecordList &list, const RecordListFinder &finder);

}  // namespace tabvoro::capture::html
