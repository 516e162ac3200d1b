// Takes the parts of the page's document that `request` names and hands them back as one JSON
// text, in one call: a round trip per cell would cost more than the page load itself.
// It runs in an isolated world, so a page that replaces builtins (JSON, Array, innerText...) for
// its own scripts does not change what this one calls.
//
// The request is written by requestObject() in page_snapshot.cpp. The answer, for one document:
//   u   base address
//   b   body text
//   tc  number of tables: the <table> elements, then the tables made of ARIA roles, the
//       lists of repeated records and the tables of open shadow roots (at their host's place),
//       together in document order
//   hc  how many of them are <table> elements
//   g   the mark of this read's tables, when the request asked for one (`mark`): a later read
//       may go on from the rows it took (`more`), see "Tables that grow" below
//   t   taken tables: {i: index, n: row count, r: [[cell text...] per row], k: 1 for a record list,
//                      c: rows left out before the first of r, a read that goes on from an earlier one,
//                      s: [row, cell, colSpan, rowSpan, ...] for every cell with a span other than 1,
//                      h: [[cell HTML...] per row], hf: its form (request.cellHtml),
//                      rh: [row HTML...],
//                      rn: "0110..." whether each row's HTML contains the row needle,
//                      z: [UTF-8 bytes, characters] of the whole table text}
//   e   the `all` list: [tagName, type, value, name] each, empty trailing entries left out;
//       with `stepOnly` only the elements a next-page step acts on, each at its index in ei,
//       of a list of ec elements (without `stepCount`, ec may stop after the last one taken)
//   eh  [element index, inner HTML, ...] for the elements whose HTML was asked
//   en  one character per element: "1"/"0" whether its HTML holds the element needle, " " not asked
//   l   link addresses
//   f   frames: {n: name} readable, {n, d: document} taken, {n, x: why it cannot be read};
//       a frame from another origin is readable when it answered for itself (frame_reading.cpp)
// Texts keep the browser's "\n": the reader writes line breaks as CR LF, which halves what
// crosses over for texts with many lines.
(function (request) {
    'use strict';

    // The numbers of SnapshotRequest's enumerations (0 is always "none").
    const TABLES_COUNT = 1, TABLES_FIRST_ROWS = 2;
    const CELL_HTML_THROUGH_HREF = 2;
    const FRAMES_CONTENTS = 2;
    // Where the answers of frames from other origins wait for this read (frame_reading.cpp).
    const FRAME_ANSWERS = '__tabvoroFrameAnswers';

    // The capture's link mode reads from the first "href" to the double quote closing its value;
    // the same cut as throughFirstHref() in the engine.
    function throughFirstHref(html) {
        const href = html.indexOf('href');
        if (href < 0)
            return '';
        const quote = html.indexOf('"', Math.min(href + 6, html.length));
        return quote < 0 ? html : html.slice(0, quote + 1);
    }

    // Size of a text once its line breaks are CR LF, in UTF-8 bytes and in characters.
    function measure(text, into) {
        for (let k = 0; k < text.length; ++k) {
            const u = text.charCodeAt(k);
            if (u < 0x80) {
                const extra = u === 10 && (k === 0 || text.charCodeAt(k - 1) !== 13) ? 1 : 0;
                into[0] += 1 + extra;
                into[1] += 1 + extra;
            } else if (u < 0x800) {
                into[0] += 2;
                into[1] += 1;
            } else if (u >= 0xD800 && u <= 0xDBFF && k + 1 < text.length &&
                       (text.charCodeAt(k + 1) & 0xFC00) === 0xDC00) {
                into[0] += 4;
                into[1] += 1;
                ++k;
            } else if ((u & 0xF800) === 0xD800) {
                into[0] += 1;  // a lone surrogate arrives as "?"
                into[1] += 1;
            } else {
                into[0] += 3;
                into[1] += 1;
            }
        }
    }

    // A cell without colspan and rowspan attributes spans one column and one row: only the
    // cells that have one are read, instead of two properties of every cell. Sorted by row as
    // the table's `rows` has them (a thead after a tbody still comes first) and then by cell.
    function takeSpans(table, taken) {
        const found = [];
        for (const cell of table.querySelectorAll('td[colspan], th[colspan], td[rowspan], th[rowspan]')) {
            const row = cell.parentElement;
            const owner = row && row.localName === 'tr' ? row.parentElement : null;
            if (!owner || (owner !== table && owner.parentElement !== table))
                continue;  // a cell of a nested table
            const r = row.rowIndex;
            const colSpan = cell.colSpan, rowSpan = cell.rowSpan;
            if (r >= 0 && r < taken && (colSpan !== 1 || rowSpan !== 1))
                found.push([r, cell.cellIndex, colSpan, rowSpan]);
        }
        found.sort((a, b) => a[0] - b[0] || a[1] - b[1]);
        return found.flat();
    }

    // The spans of rows from..taken-1 only, by row from `from`: a read that goes on from an
    // earlier one looks at the new rows' cells, not at the whole table's.
    function spansFrom(rows, taken, from) {
        const found = [];
        for (let r = from; r < taken; ++r) {
            const cells = rows[r].cells;
            for (let c = 0; c < cells.length; ++c) {
                const cell = cells[c];
                if (!cell.hasAttribute('colspan') && !cell.hasAttribute('rowspan'))
                    continue;
                const colSpan = cell.colSpan, rowSpan = cell.rowSpan;
                if (colSpan !== 1 || rowSpan !== 1)
                    found.push(r - from, c, colSpan, rowSpan);
            }
        }
        return found;
    }

    // Tables made of roles: role table, grid or treegrid on anything but a <table>. Their rows
    // are the row-role elements they own, through row groups and elements without a role of
    // their own, never inside a nested grid or <table>; a row's cells likewise. The same rule
    // as the static document's, which gives foreign and inert elements no role.
    const ROLE_NONE = 0, ROLE_TABLE = 1, ROLE_ROWGROUP = 2, ROLE_ROW = 3, ROLE_CELL = 4, ROLE_OTHER = 5;
    const ROLES = new Map([['table', ROLE_TABLE], ['grid', ROLE_TABLE], ['treegrid', ROLE_TABLE],
                           ['rowgroup', ROLE_ROWGROUP], ['row', ROLE_ROW], ['cell', ROLE_CELL],
                           ['gridcell', ROLE_CELL], ['columnheader', ROLE_CELL], ['rowheader', ROLE_CELL]]);
    const BLANK = ' \t\n\f\r';

    function ariaRole(element) {
        if (element.namespaceURI !== HTML_NAMESPACE)
            return ROLE_NONE;
        const value = element.getAttribute('role');
        if (value === null)
            return ROLE_NONE;
        let start = 0;
        while (start < value.length && BLANK.includes(value[start]))
            ++start;
        let end = start;
        while (end < value.length && !BLANK.includes(value[end]))
            ++end;
        if (end === start)
            return ROLE_NONE;
        const token = value.slice(start, end).replace(/[A-Z]+/g, letters => letters.toLowerCase());
        return ROLES.get(token) || ROLE_OTHER;
    }

    function isHtml(element, name) {
        return element.localName === name && element.namespaceURI === HTML_NAMESPACE;
    }

    function isGrid(element) {
        return !isHtml(element, 'table') && !isHtml(element, 'template') && !isHtml(element, 'noscript') &&
               ariaRole(element) === ROLE_TABLE;
    }

    function owned(root, wanted) {
        const found = [];
        const stack = [];
        for (let child = root.lastElementChild; child; child = child.previousElementSibling)
            stack.push(child);
        while (stack.length) {
            const element = stack.pop();
            if (isHtml(element, 'table') || isHtml(element, 'template') || isHtml(element, 'noscript'))
                continue;
            const role = ariaRole(element);
            if (role === wanted) {
                found.push(element);
            } else if (role === ROLE_NONE || (wanted === ROLE_ROW && role === ROLE_ROWGROUP)) {
                for (let child = element.lastElementChild; child; child = child.previousElementSibling)
                    stack.push(child);
            }
        }
        return found;
    }

    // aria-colspan and aria-rowspan read as colspan and rowspan are: 1 when missing, not a
    // number or 0, bounded as a browser bounds a cell's spans.
    function ariaSpan(cell, name, max) {
        const value = cell.getAttribute(name);
        if (value === null)
            return 1;
        let k = 0;
        while (k < value.length && BLANK.includes(value[k]))
            ++k;
        if (value[k] === '+')
            ++k;
        let n = 0, digits = 0;
        for (; k < value.length && value[k] >= '0' && value[k] <= '9'; ++k, ++digits)
            n = Math.min(n * 10 + (value.charCodeAt(k) - 48), max);
        return digits === 0 || n === 0 ? 1 : n;
    }

    function gridSource(grid) {
        // A grid that draws only the rows in view has had them gathered, every one, beforehand.
        const rows = owned(grid.__tabvoroDrawnRows || grid, ROLE_ROW);
        const cellLists = new Array(rows.length);
        const cellsOf = r => cellLists[r] || (cellLists[r] = owned(rows[r], ROLE_CELL));
        return {
            element: grid.__tabvoroDrawnRows ? null : grid,
            rows: rows,
            cells: cellsOf,
            spans: (taken, from) => {
                const found = [];
                for (let r = from; r < taken; ++r) {
                    const cells = cellsOf(r);
                    for (let c = 0; c < cells.length; ++c) {
                        const colSpan = ariaSpan(cells[c], 'aria-colspan', 1000);
                        const rowSpan = ariaSpan(cells[c], 'aria-rowspan', 65534);
                        if (colSpan !== 1 || rowSpan !== 1)
                            found.push(r - from, c, colSpan, rowSpan);
                    }
                }
                return found;
            },
        };
    }

    // Lists of repeated records: the rule of the static document (record_lists.h), step for
    // step, so that both documents list the same tables.
    const SKIPPED = new Set(['head', 'script', 'style', 'template', 'noscript', 'select', 'option', 'optgroup',
                             'datalist', 'textarea', 'iframe', 'object']);
    // The display values the static document knows; another one leaves the hidden attribute to decide.
    const DISPLAYS = new Set(['none', 'block', 'list-item', 'table', 'flex', 'grid', 'flow-root', 'inline',
                              'contents', 'inline-block', 'inline-flex', 'inline-grid', 'inline-table']);
    const MAX_RECORD_COLUMNS = 128;
    const VISIBLE = /[^ \t\n\f\r\u00a0]/;
    const NOT_BLANK = /[^ \t\n\f\r]/;

    function skippedElement(element) {
        if (element.namespaceURI !== HTML_NAMESPACE)
            return false;
        if (SKIPPED.has(element.localName))
            return true;
        const display = element.style ? element.style.display : '';
        if (DISPLAYS.has(display)) {
            if (display === 'none')
                return true;
        } else if (element.hasAttribute('hidden')) {
            return true;
        }
        const ariaHidden = element.getAttribute('aria-hidden');
        return ariaHidden !== null && ariaHidden.replace(/^[ \t\n\f\r]+|[ \t\n\f\r]+$/g, '').toLowerCase() === 'true';
    }

    // A site's menus repeat their items as lists do.
    const MENU_ROLES = new Set(['navigation', 'menu', 'menubar']);

    function isMenuRole(element) {
        const value = element.getAttribute('role');
        if (value === null)
            return false;
        const token = value.replace(/^[ \t\n\f\r]+/, '').split(/[ \t\n\f\r]/)[0];
        return MENU_ROLES.has(token.replace(/[A-Z]+/g, letters => letters.toLowerCase()));
    }

    function closedElement(element) {
        return element.namespaceURI !== HTML_NAMESPACE || isHtml(element, 'table') || isHtml(element, 'nav') ||
               ariaRole(element) === ROLE_TABLE || isMenuRole(element);
    }

    function isRowRole(element) {
        const role = ariaRole(element);
        return role === ROLE_ROW || role === ROLE_ROWGROUP || role === ROLE_CELL;
    }

    function recordLike(element) {
        if (isRowRole(element))
            return false;
        if (isHtml(element, 'li') || isHtml(element, 'article'))
            return true;
        const cls = element.getAttribute('class');
        return cls !== null && NOT_BLANK.test(cls);
    }

    function signature(element) {
        const cls = element.getAttribute('class');
        const tokens = cls === null ? [] : cls.split(/[ \t\n\f\r]+/).filter(token => token !== '');
        return tokens.length ? element.localName + ' ' + tokens.join(' ') : element.localName;
    }

    // One walk of the document, or of a shadow root: each element's pieces (0, 1, or 2 for two
    // or more), found from its children's once they are all seen. A shadow root is no element:
    // its children are walked as roots of their own.
    function findRecordLists(scope) {
        const found = {pieces: new Set(), parents: new Set(), lists: []};
        const roots = scope.nodeType === Node.DOCUMENT_NODE ? [scope.documentElement]
                                                             : Array.from(scope.children);
        const open = [];
        const kids = [];
        let order = 0;
        const enter = element => {
            ++order;
            if (!skippedElement(element) && !closedElement(element))
                open.push({element: element, order: order, kidsBegin: kids.length, ownText: false, next: element.firstChild});
        };
        const close = f => {
            let pieces = 0, hasText = f.ownText, holdsList = false, recordKids = 0;
            for (let k = f.kidsBegin; k < kids.length; ++k) {
                pieces = Math.min(2, pieces + kids[k].pieces);
                hasText = hasText || kids[k].hasText;
                holdsList = holdsList || kids[k].holdsList;
                if (kids[k].recordLike)
                    ++recordKids;
            }
            let isList = false;
            if (recordKids >= 3 && !isRowRole(f.element)) {
                const groups = new Map();
                const signatures = new Array(kids.length - f.kidsBegin);
                let best = null;
                for (let k = f.kidsBegin; k < kids.length; ++k) {
                    if (!kids[k].recordLike)
                        continue;
                    const sig = signature(kids[k].element);
                    signatures[k - f.kidsBegin] = sig;
                    let group = groups.get(sig);
                    if (!group)
                        groups.set(sig, group = {count: 0, first: k, allHoldTwo: true, sig: sig});
                    ++group.count;
                    group.allHoldTwo = group.allHoldTwo && kids[k].pieces >= 2;
                    if (!best || group.count > best.count || (group.count === best.count && group.first < best.first))
                        best = group;
                }
                if (best && best.count >= 3 && best.allHoldTwo) {
                    isList = true;
                    const records = [];
                    for (let k = f.kidsBegin; k < kids.length; ++k)
                        if (kids[k].recordLike && signatures[k - f.kidsBegin] === best.sig)
                            records.push(kids[k].element);
                    found.parents.add(f.element);
                    found.lists.push({parent: f.element, order: f.order, records: records});
                }
            }
            const piece = !holdsList && !isList && (f.ownText || (isHtml(f.element, 'a') && hasText));
            if (piece)
                found.pieces.add(f.element);
            kids.length = f.kidsBegin;
            kids.push({element: f.element, pieces: isList ? 0 : piece ? 1 : pieces, hasText: !isList && hasText,
                       holdsList: isList || holdsList, recordLike: recordLike(f.element)});
        };
        for (const root of roots) {
            if (!root)
                continue;
            enter(root);
            while (open.length) {
                const top = open[open.length - 1];
                const node = top.next;
                if (!node) {
                    close(open.pop());
                    continue;
                }
                top.next = node.nextSibling;
                if (node.nodeType === 1)
                    enter(node);
                else if ((node.nodeType === 3 || node.nodeType === 4) && !top.ownText && VISIBLE.test(node.data))
                    top.ownText = true;
            }
            kids.length = 0;
        }
        found.lists.sort((a, b) => a.order - b.order);
        for (const list of found.lists)
            list.found = found;
        return found;
    }

    const NO_PIECE = {innerText: '', innerHTML: ''};

    // A record's pieces in columns by their path from the record: each step a signature and its
    // rank among the siblings of that signature. Columns in order of first appearance.
    function recordSource(list, found) {
        const pathNumbers = new Map();
        const columnOf = [];
        let columns = 0;
        const placed = list.records.map(record => {
            const cells = [];
            const stack = [[record, -1]];
            while (stack.length) {
                const [element, path] = stack.pop();
                if (path >= 0) {
                    if (found.pieces.has(element)) {
                        if (columnOf[path] === undefined && columns < MAX_RECORD_COLUMNS)
                            columnOf[path] = columns++;
                        if (columnOf[path] !== undefined)
                            cells.push([columnOf[path], element]);
                        continue;
                    }
                    if (closedElement(element) || found.parents.has(element))
                        continue;
                }
                const children = [];
                const ranks = new Map();
                for (let child = element.firstElementChild; child; child = child.nextElementSibling) {
                    if (skippedElement(child))
                        continue;
                    const sig = signature(child);
                    const rank = ranks.get(sig) || 0;
                    ranks.set(sig, rank + 1);
                    const key = path + '/' + rank + '/' + sig;
                    let number = pathNumbers.get(key);
                    if (number === undefined)
                        pathNumbers.set(key, number = pathNumbers.size);
                    children.push([child, number]);
                }
                for (let k = children.length - 1; k >= 0; --k)
                    stack.push(children[k]);
            }
            return cells;
        });
        const rows = placed.map(cells => {
            const row = new Array(columns).fill(NO_PIECE);
            // The cell holds the piece itself, so that a linked piece keeps its address.
            for (const [column, piece] of cells)
                row[column] = {get innerText() { return piece.innerText; }, get innerHTML() { return piece.outerHTML; }};
            return row;
        });
        return {element: list.parent, rows: list.records, cells: r => rows[r], spans: () => [], records: true};
    }

    // Two lists of entries, each in tree order by the element `at` of its entries, merged into one;
    // on a tie (a grid that hosts a shadow root) the first list's entry comes first.
    function mergeInOrder(first, second) {
        const merged = [];
        let k = 0;
        for (const entry of first) {
            for (; k < second.length && (entry.at.compareDocumentPosition(second[k].at) & Node.DOCUMENT_POSITION_PRECEDING); ++k)
                merged.push(second[k]);
            merged.push(entry);
        }
        for (; k < second.length; ++k)
            merged.push(second[k]);
        return merged;
    }

    // The tables of one tree (the document, or a shadow root) that are not its <table> elements:
    // grids and record lists, and whatever the open shadow roots of its elements hold, at the
    // place of their host. In a shadow root its <table>s are among them, in tree order: the
    // page's <table>s keep their numbers. Each element is looked at once in its own tree.
    // Every element but those that can never have a shadow root (attachShadow refuses them): a
    // page of many rows is made of such cells, rows and links, and looking at each of them for
    // a shadow root costs as much as reading the page.
    const MAY_HOST = ':not(a,abbr,area,audio,b,br,button,canvas,caption,code,col,colgroup,dd,dl,dt,em,embed,font,' +
                     'form,head,hr,i,iframe,img,input,label,li,link,map,meta,object,ol,option,optgroup,picture,pre,' +
                     'script,select,small,source,strong,style,sub,sup,svg,table,tbody,td,template,textarea,tfoot,th,' +
                     'thead,title,tr,u,ul,video)';

    function otherTables(scope, depth) {
        const inShadow = scope.nodeType !== Node.DOCUMENT_NODE;
        const grids = Array.prototype.filter.call(scope.querySelectorAll('[role]'), isGrid);
        let merged = mergeInOrder(grids.map(grid => ({at: grid, grid: grid})),
                                  findRecordLists(scope).lists.map(list => ({at: list.parent, list: list})));
        if (inShadow)
            merged = mergeInOrder(Array.from(scope.querySelectorAll('table'), table => ({at: table, table: table})), merged);
        // Shadow roots inside shadow roots, to a depth no real page reaches.
        if (depth >= 32)
            return merged;
        const hosts = [];
        for (const element of scope.querySelectorAll(MAY_HOST)) {
            const shadow = element.shadowRoot;
            if (shadow)
                hosts.push({at: element, inside: otherTables(shadow, depth + 1)});
        }
        if (!hosts.length)
            return merged;
        const placed = [];
        for (const entry of mergeInOrder(merged, hosts)) {
            if (!entry.inside)
                placed.push(entry);
            else
                for (const inner of entry.inside)
                    placed.push(inner);
        }
        return placed;
    }

    function tableSource(table) {
        return {element: table, rows: table.rows, cells: r => table.rows[r].cells,
                spans: (taken, from) => from ? spansFrom(table.rows, taken, from) : takeSpans(table, taken)};
    }

    function takeTable(source, index, req, from) {
        const rows = source.rows;
        const n = rows.length;
        const out = {i: index, n: n - from};
        if (from)
            out.c = from;
        if (source.records)
            out.k = 1;
        const taken = req.tables === TABLES_FIRST_ROWS ? Math.min(n, 1) : n;
        const texts = new Array(Math.max(0, taken - from));
        const cellHtml = req.cellHtml ? new Array(texts.length) : null;
        for (let r = from; r < taken; ++r) {
            const cells = source.cells(r);
            const m = cells.length;
            const rowTexts = new Array(m);
            const rowHtml = cellHtml ? new Array(m) : null;
            for (let c = 0; c < m; ++c) {
                const cell = cells[c];
                rowTexts[c] = cell.innerText;
                if (rowHtml)
                    rowHtml[c] = req.cellHtml === CELL_HTML_THROUGH_HREF ? throughFirstHref(cell.innerHTML)
                                                                         : cell.innerHTML;
            }
            texts[r - from] = rowTexts;
            if (cellHtml)
                cellHtml[r - from] = rowHtml;
        }
        out.r = texts;
        const spans = source.spans(taken, from);
        if (spans.length)
            out.s = spans;
        if (cellHtml) {
            out.h = cellHtml;
            out.hf = req.cellHtml;
        }
        if (req.tables === TABLES_FIRST_ROWS) {
            const size = [n > 1 ? 2 * (n - 1) : 0, n > 1 ? 2 * (n - 1) : 0];
            for (let r = 0; r < n; ++r) {
                const cells = source.cells(r);
                for (let c = 0; c < cells.length; ++c)
                    measure(r < taken ? texts[r][c] : cells[c].innerText, size);
            }
            out.z = size;
        }
        if (req.rowHtml) {
            const html = new Array(n - from);
            for (let r = from; r < n; ++r)
                html[r - from] = rows[r].innerHTML;
            out.rh = html;
        }
        if (typeof req.rowNeedle === 'string') {
            const answers = new Array(n - from);
            for (let r = from; r < n; ++r)
                answers[r - from] = rows[r].innerHTML.includes(req.rowNeedle) ? '1' : '0';
            out.rn = answers.join('');
        }
        return out;
    }

    // ---- Tables that grow
    //
    // A page that adds rows to a table in place (a "more" button, a scroll) is read again and
    // again; reading the rows read before every time would cost each read the whole table. A
    // read that asks for it (`mark`) marks the tables it took: for each, the last row before
    // its trailing pager rows. An observer of the document notes any change at or before that
    // row: inside the rows before it, to the rows themselves, to the table around them. A later
    // read may then ask to go on from the first `k` rows of a table of the marked read (`more`:
    // {i: table, k, g: the read's mark}); when nothing changed at or before its marked row, the
    // table is taken from row k on, and says so (c: k). Otherwise it is taken whole, as always.
    // Only the document's own tables are marked: changes inside shadow roots and frames are not
    // seen by the observer.
    const GROWTH = '__tabvoroGrowth';

    // Whether `node` comes after `last` in the document, outside it.
    function follows(last, node) {
        const p = last.compareDocumentPosition(node);
        return (p & Node.DOCUMENT_POSITION_FOLLOWING) !== 0 &&
               (p & (Node.DOCUMENT_POSITION_CONTAINED_BY | Node.DOCUMENT_POSITION_DISCONNECTED)) === 0;
    }

    // Whether the change of `record` lies wholly after the marked row `last`: a change of a node
    // after it, or nodes added or removed after it in one of its ancestors.
    function changeFollows(last, record) {
        const target = record.target;
        if (follows(last, target))
            return true;
        if (record.type !== 'childList' || target === last || !target.contains(last))
            return false;
        const before = record.previousSibling;
        return !!before && (before === last || before.contains(last) || follows(last, before));
    }

    // A <table>'s rows are in tree order but for its header rows, which come first, and its
    // footer rows, which come last: a header added or changed anywhere changes the rows before
    // the marked one, and so does any change when that row is a footer's.
    function changesRowOrder(mark, record) {
        if (mark.last.parentElement.localName === 'tfoot' || record.target.localName === 'thead')
            return true;
        const isHead = node => node.localName === 'thead';
        return Array.prototype.some.call(record.addedNodes, isHead) || Array.prototype.some.call(record.removedNodes, isHead);
    }

    function noteChanges(growth, records) {
        for (const record of records) {
            if (!growth.marks.size)
                return;
            for (let node = record.target; node; node = node.parentNode) {
                const mark = growth.marks.get(node);
                if (mark && !mark.changed &&
                    (!changeFollows(mark.last, record) || mark.table && changesRowOrder(mark, record)))
                    mark.changed = true;
            }
        }
    }

    function growthState(doc) {
        let growth = window[GROWTH];
        if (!growth || growth.doc !== doc) {
            growth = window[GROWTH] = {doc: doc, id: '', marks: new Map(), observer: null};
            growth.observer = new MutationObserver(records => noteChanges(growth, records));
            growth.observer.observe(doc, {childList: true, subtree: true, characterData: true, attributes: true});
        }
        noteChanges(growth, growth.observer.takeRecords());
        return growth;
    }

    // The rows of `source` the read asked to go on from, when none of them has changed since.
    function rowsToGoOnFrom(growth, source, index, req) {
        const more = req.more;
        if (!more || more.i !== index || more.g !== growth.id || !source.element)
            return 0;
        const mark = growth.marks.get(source.element);
        if (!mark || mark.changed || more.k < 1 || more.k > mark.frozen)
            return 0;
        // A grid's or list's rows are worked out afresh at each read: the marked one must be
        // where it was. A table's are the browser's; finding one of thousands costs a walk.
        if (!mark.table && source.rows[mark.frozen - 1] !== mark.last)
            return 0;
        return more.k;
    }

    // A <table> taken from its marked row on: its rows after that row, in the table's order,
    // found from the row itself rather than through the table's rows (reaching row k of those
    // walks k rows). The rows before it are left as holes, never read.
    function tableFromMark(table, mark, from) {
        const last = mark.last;
        const group = last.parentElement;
        if (from !== mark.frozen || group.localName === 'thead' || group.localName === 'tfoot')
            return tableSource(table);
        const after = [], foot = [];
        const rowsOf = (section, into) => {
            for (let row = section.firstElementChild; row; row = row.nextElementSibling)
                if (row.localName === 'tr')
                    into.push(row);
        };
        const place = group === table ? last : group;
        for (let child = table.firstElementChild; child !== place; child = child.nextElementSibling)
            if (child.localName === 'tfoot')
                rowsOf(child, foot);
        if (group !== table)
            for (let row = last.nextElementSibling; row; row = row.nextElementSibling)
                if (row.localName === 'tr')
                    after.push(row);
        for (let child = place.nextElementSibling; child; child = child.nextElementSibling) {
            const name = child.localName;
            if (name === 'tr')
                after.push(child);
            else if (name === 'tbody')
                rowsOf(child, after);
            else if (name === 'tfoot')
                rowsOf(child, foot);
        }
        const rows = new Array(from + after.length + foot.length);
        rows[from - 1] = last;
        for (let k = 0; k < after.length; ++k)
            rows[from + k] = after[k];
        for (let k = 0; k < foot.length; ++k)
            rows[from + after.length + k] = foot[k];
        return {element: table, rows: rows, cells: r => rows[r].cells, spans: (taken, at) => spansFrom(rows, taken, at)};
    }

    // Marks the tables of this read, in place of the last read's marks.
    function markTables(growth, taken, req) {
        const earlier = growth.marks;
        growth.marks = new Map();
        growth.id = String(Math.random()).slice(2);
        for (const {source, out, from} of taken) {
            const element = source.element;
            if (!element || element.getRootNode() !== growth.doc)
                continue;
            let frozen = source.rows.length;
            if (typeof out.rn === 'string')
                while (frozen > from && out.rn[frozen - 1 - from] === '1')
                    --frozen;
            if (frozen === 0)
                continue;
            // The rows among them that hold the row needle: the others cannot hold it in any
            // element of theirs (takeStepElements).
            let pagers = typeof out.rn === 'string' ? [] : null;
            if (pagers && from) {
                const before = earlier.get(element);
                pagers = before && before.pagers ? before.pagers.slice() : null;
            }
            if (pagers)
                for (let r = from; r < frozen; ++r)
                    if (out.rn[r - from] === '1')
                        pagers.push(source.rows[r]);
            growth.marks.set(element, {last: source.rows[frozen - 1], frozen: frozen, changed: false,
                                       table: isHtml(element, 'table'),
                                       needle: typeof req.rowNeedle === 'string' ? req.rowNeedle : null,
                                       pagers: pagers});
        }
        return growth.id;
    }

    // Type and value are those of the form controls, as the page holds them now (typed in or
    // set by script); name is the attribute, whatever the element.
    const CONTROLS = new Set(['INPUT', 'BUTTON', 'SELECT', 'TEXTAREA']);
    const HTML_NAMESPACE = 'http://www.w3.org/1999/xhtml';

    // The elements a next-page step acts on, and their places in the `all` list: found by the
    // browser's own selector engine, so that the many cells and links of a large table cost no
    // entry each. A place is counted by the browser as well while the elements are few.
    const STEP_ELEMENTS = 'a,img,button,input,select,textarea';

    // The marked rows of a <table> (see "Tables that grow"), unchanged since, that did not hold
    // `needle`: no element inside them can hold it, its HTML being part of its row's. A growing
    // table's many links are then not looked at again at every step.
    function quietTable(doc, needle) {
        const growth = window[GROWTH];
        if (!growth || growth.doc !== doc || !growth.marks.size)
            return null;
        noteChanges(growth, growth.observer.takeRecords());
        const quiet = [];
        for (const [element, mark] of growth.marks)
            if (!mark.changed && mark.pagers && mark.needle === needle && isHtml(element, 'table'))
                quiet.push({table: element, last: mark.last, pagers: new Set(mark.pagers),
                            // in tree order, as the marked read found them
                            pagersIn: section => mark.pagers.filter(row => row.parentElement === section)});
        // Tables inside one another would need their rows sorted out; one table is the case
        // that matters, a page growing one list.
        return quiet.length === 1 ? quiet[0] : null;
    }

    // The elements under `root`, itself included, that the step looks at.
    function stepElementsIn(root, into) {
        if (root.matches(STEP_ELEMENTS))
            into.push(root);
        for (const element of root.querySelectorAll(STEP_ELEMENTS))
            into.push(element);
    }

    // The step's elements of the quiet table, in document order, without its quiet rows: those
    // before its last quiet row, a footer's excepted (a footer's rows come last in the table's
    // rows, wherever it stands).
    function stepElementsOfTable(q, into) {
        let past = false;  // past the last quiet row
        const row = (element, quiet) => {
            if (element.localName !== 'tr' || !quiet || past || q.pagers.has(element))
                stepElementsIn(element, into);
            if (element === q.last)
                past = true;
        };
        for (let child = q.table.firstElementChild; child; child = child.nextElementSibling) {
            const name = child.localName;
            if (name !== 'thead' && name !== 'tbody' && name !== 'tfoot') {
                row(child, true);
            } else if (name !== 'tfoot' && !past && child.children.length === child.rows.length) {
                // A section of rows alone, up to the last quiet row or wholly before it: its
                // pager rows, and the rows after that row, without going through the others.
                for (const pager of q.pagersIn(child))
                    stepElementsIn(pager, into);
                if (child.contains(q.last)) {
                    past = true;
                    for (let inner = q.last.nextElementSibling; inner; inner = inner.nextElementSibling)
                        stepElementsIn(inner, into);
                }
            } else {
                for (let inner = child.firstElementChild; inner; inner = inner.nextElementSibling)
                    row(inner, name !== 'tfoot');
            }
        }
    }

    // Every element of the step in document order, the quiet rows of a growing table left out.
    function stepElements(doc, q) {
        if (!q || q.last.parentElement !== q.table && q.last.parentElement.parentElement !== q.table)
            return Array.from(doc.querySelectorAll(STEP_ELEMENTS));
        // Around the table: its ancestors and what comes before and after each, from the top.
        const levels = [];
        for (let node = q.table; node.parentElement; node = node.parentElement)
            levels.push(node);
        const found = [];
        for (let k = levels.length - 1; k >= 0; --k) {
            const parent = levels[k].parentElement;
            if (k === levels.length - 1 && parent.matches(STEP_ELEMENTS))
                found.push(parent);
            for (let child = parent.firstElementChild; child !== levels[k]; child = child.nextElementSibling)
                stepElementsIn(child, found);
            if (k > 0 && levels[k].matches(STEP_ELEMENTS))
                found.push(levels[k]);
        }
        stepElementsOfTable(q, found);
        for (let k = 0; k < levels.length; ++k)
            for (let child = levels[k].nextElementSibling; child; child = child.nextElementSibling)
                stepElementsIn(child, found);
        return found;
    }

    // An element's index in the `all` list: its ancestors and the elements of the subtrees
    // before it. Siblings are counted from the nearer end, so that an element at the end of
    // thousands of rows counts few of them.
    function placeOf(element) {
        const size = node => node.getElementsByTagName('*').length;
        let index = 0;
        for (let node = element; node.parentElement; node = node.parentElement) {
            let before = node.previousElementSibling, after = node.nextElementSibling;
            let sumBefore = 0, sumAfter = 0;
            while (before && after) {
                sumBefore += 1 + size(before);
                sumAfter += 1 + size(after);
                before = before.previousElementSibling;
                after = after.nextElementSibling;
            }
            // A few siblings more before it cost less than counting all its parent holds.
            for (let more = 0; before && more < 64; ++more, before = before.previousElementSibling)
                sumBefore += 1 + size(before);
            index += 1 + (before ? size(node.parentElement) - 1 - size(node) - sumAfter : sumBefore);
        }
        return index;
    }

    function takeStepElements(doc, req, out) {
        const wanted = req.elementTags ? new Set(req.elementTags) : null;
        const needle = req.elementNeedle;
        const taken = [];
        const answers = [];
        for (const element of stepElements(doc, quietTable(doc, needle))) {
            const tag = element.tagName;
            const control = CONTROLS.has(tag) && element.namespaceURI === HTML_NAMESPACE;
            const asked = !wanted || wanted.has(tag);
            if (asked ? !element.innerHTML.includes(needle) : !control)
                continue;
            taken.push(element);
            answers.push(asked ? '1' : ' ');
        }
        const all = doc.getElementsByTagName('*');
        const indexes = new Array(taken.length);
        if (taken.length <= 16) {
            for (let k = 0; k < taken.length; ++k)
                indexes[k] = placeOf(taken[k]);
        } else {
            for (let i = 0, k = 0, n = all.length; i < n && k < taken.length; ++i)
                if (all[i] === taken[k])
                    indexes[k++] = i;
        }
        out.e = taken.map(elementEntry);
        out.ei = indexes;
        // The list's length matters to a keyword that names a position; counting it walks the
        // whole document, which a page of many rows feels at every step.
        out.ec = req.stepCount || taken.length > 16 ? all.length : taken.length ? indexes[taken.length - 1] + 1 : 0;
        out.en = answers.join('');
    }

    // An element's entry in the `all` list: [tagName, type, value, name], trailing empties left out.
    function elementEntry(element) {
        const tag = element.tagName;
        const control = CONTROLS.has(tag) && element.namespaceURI === HTML_NAMESPACE;
        const entry = [tag, control ? element.type : '', control ? element.value : '',
                       element.getAttribute('name') || ''];
        while (entry.length > 1 && entry[entry.length - 1] === '')
            entry.pop();
        return entry;
    }

    function takeElements(doc, req, out) {
        if (req.stepOnly && typeof req.elementNeedle === 'string' && !req.elementHtml)
            return takeStepElements(doc, req, out);
        const all = doc.getElementsByTagName('*');
        const n = all.length;
        const list = new Array(n);
        const wanted = req.elementTags ? new Set(req.elementTags) : null;
        const needle = typeof req.elementNeedle === 'string' ? req.elementNeedle : null;
        const html = req.elementHtml ? [] : null;
        const answers = needle !== null ? new Array(n) : null;
        for (let i = 0; i < n; ++i) {
            const element = all[i];
            const tag = element.tagName;
            list[i] = elementEntry(element);
            const asked = !wanted || wanted.has(tag);
            if (html && asked)
                html.push(i, element.innerHTML);
            if (answers)
                answers[i] = asked ? (element.innerHTML.includes(needle) ? '1' : '0') : ' ';
        }
        out.e = list;
        if (html)
            out.eh = html;
        if (answers)
            out.en = answers.join('');
    }

    // The frame elements of `doc` give the frames their names: a frame from another origin
    // does not tell its own.
    function frameName(doc, frameWindow) {
        for (const owner of doc.querySelectorAll('iframe, frame, object')) {
            if (owner.contentWindow === frameWindow)
                return owner.getAttribute('name') || '';
        }
        return '';
    }

    // A frame from another origin cannot be read from here: its own answer, asked for before
    // this read (frame_reading.cpp) and kept in this world under the read's token, stands in.
    function readFrame(frameWindow) {
        try {
            return {document: frameWindow.document};
        } catch (e) {
            const answers = window[FRAME_ANSWERS];
            const asked = answers && answers.token === request.answers ? answers.asked.get(frameWindow) : undefined;
            if (asked && typeof asked.answer === 'string') {
                let answer = null;
                try {
                    answer = JSON.parse(asked.answer);
                } catch (x) {
                }
                if (answer && typeof answer === 'object' && !answer.x)
                    return {answer: answer};
            }
            return {failure: e && e.name === 'SecurityError' ? 'it is from another origin'
                                                              : String(e && e.message || e)};
        }
    }

    // `take(index, frameDocument, frameWindow)` gives the frame's document entry, or null for
    // names only; a frame that answered for itself gives its answer instead.
    function takeFrames(doc, win, take) {
        const list = [];
        for (let i = 0; i < win.frames.length; ++i) {
            const frameWindow = win.frames[i];
            const entry = {n: frameName(doc, frameWindow)};
            const read = readFrame(frameWindow);
            if (read.failure) {
                entry.x = read.failure;
            } else {
                const taken = take(i, read.document, frameWindow);
                if (taken)
                    entry.d = read.answer || taken;
            }
            list.push(entry);
        }
        return list;
    }

    function takeDocument(doc, win, req, depth) {
        const out = {u: doc.baseURI};
        if (req.body) {
            const body = doc.body;
            out.b = body && body.localName === 'body' ? body.innerText : '';
        }
        if (req.tables) {
            const tables = doc.getElementsByTagName('table');
            // Only the page's own document keeps marks; a frame's is read whole.
            const growth = req.mark && depth === 0 && req.tables !== TABLES_COUNT ? growthState(doc) : null;
            // A read that goes on from a <table> leaves the other kinds of table out: while a
            // <table> matches, a capture walks no grid or list, and a position counts from the
            // <table>s.
            const more = req.more;
            const fromTable = growth && more && more.i < tables.length &&
                              rowsToGoOnFrom(growth, tableSource(tables[more.i]), more.i, req) > 0;
            const others = fromTable ? [] : otherTables(doc, 0);
            const count = tables.length + others.length;
            out.tc = count;
            out.hc = tables.length;
            if (req.tables !== TABLES_COUNT) {
                const indexes = req.only ? req.only.filter(i => i < count) : Array.from({length: count}, (x, i) => i);
                const source = i => {
                    if (i < tables.length)
                        return tableSource(tables[i]);
                    const other = others[i - tables.length];
                    return other.table ? tableSource(other.table)
                         : other.grid ? gridSource(other.grid) : recordSource(other.list, other.list.found);
                };
                const taken = indexes.map(i => {
                    let s = source(i);
                    const from = growth ? rowsToGoOnFrom(growth, s, i, req) : 0;
                    if (from && isHtml(s.element, 'table'))
                        s = tableFromMark(s.element, growth.marks.get(s.element), from);
                    return {source: s, from: from, out: takeTable(s, i, req, from)};
                });
                out.t = taken.map(entry => entry.out);
                if (growth)
                    out.g = markTables(growth, taken, req);
            }
        }
        if (req.elements)
            takeElements(doc, req, out);
        if (req.links)
            out.l = Array.from(doc.links, link => link.href);
        if (req.frames) {
            // Frames inside frames are taken too, up to a depth no real page reaches.
            const contents = req.frames === FRAMES_CONTENTS && depth < 8;
            out.f = takeFrames(doc, win, (i, frameDocument, frameWindow) =>
                !contents ? null : frameDocument ? takeDocument(frameDocument, frameWindow, req, depth + 1) : true);
        }
        return out;
    }

    try {
        let answer;
        if (request.frame >= 0) {
            answer = {u: document.baseURI};
            answer.f = takeFrames(document, window, (i, frameDocument, frameWindow) =>
                i !== request.frame ? null : frameDocument ? takeDocument(frameDocument, frameWindow, request, 1) : true);
        } else {
            answer = takeDocument(document, window, request, 0);
        }
        return JSON.stringify(answer);
    } catch (e) {
        return JSON.stringify({x: String(e && e.stack || e)});
    }
})
