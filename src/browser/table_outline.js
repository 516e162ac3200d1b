// Draws a box over one table of the page, so the user sees which table a row of the table list
// stands for, or takes every such box away. It runs in our isolated world.
//
// The box must leave the page as it was for every read the program makes of it: it lives in a
// closed shadow root of a zero-size host appended to the document's root element, after <body>.
// Nothing of it is in the body's text, no table or record list can be found in it, it takes no
// room in the layout and no pointer event, and page styles cannot reach inside it.
//
// request: {show: false} to take the boxes away; {show: true, table: number from 0, frame:
// number from 0 or -1 for the page}. readTable() runs the snapshot script for that one table (see
// table_outline.cpp). The answer is a JSON text: {shown: true} or {shown: false, why: text}.
(function (request, readTable) {
    'use strict';

    const MARK = 'data-tabvoro-outline';
    const HTML_NAMESPACE = 'http://www.w3.org/1999/xhtml';
    const TABLE_ROLES = new Set(['table', 'grid', 'treegrid']);

    // The page's document and those of its frames we may read, frames of frames too.
    function documents(win, depth, into) {
        let doc = null;
        try {
            doc = win.document;
        } catch (e) {
            return into;  // another origin
        }
        if (doc)
            into.push(doc);
        if (depth < 8)
            for (let i = 0; i < win.frames.length; ++i)
                documents(win.frames[i], depth + 1, into);
        return into;
    }

    function clear() {
        for (const doc of documents(window, 0, [])) {
            const root = doc.documentElement;
            if (!root)
                continue;
            for (const host of Array.from(root.children))
                if (host.hasAttribute(MARK))
                    host.remove();
        }
    }

    function gridRole(element) {
        if (element.namespaceURI !== HTML_NAMESPACE ||
            ['table', 'template', 'noscript'].includes(element.localName))
            return false;
        const value = element.getAttribute('role');
        if (value === null)
            return false;
        const token = value.replace(/^[ \t\n\f\r]+/, '').split(/[ \t\n\f\r]/)[0];
        return TABLE_ROLES.has(token.replace(/[A-Z]+/g, letters => letters.toLowerCase()));
    }

    // The table numbered `index` in `win`'s document. The <table> elements come first; the
    // grids and record lists after them are found by the snapshot script itself, so that the box
    // and the table list can never number them differently: while it reads the table's rows (a
    // grid's row elements, a list's records), the element whose HTML it reads first is noted.
    function findTable(win, index) {
        const doc = win.document;
        const tables = doc.getElementsByTagName('table');
        if (index < tables.length)
            return tables[index];
        const prototype = win.Element.prototype;
        const original = Object.getOwnPropertyDescriptor(prototype, 'innerHTML');
        let firstRow = null;
        Object.defineProperty(prototype, 'innerHTML', {
            configurable: true,
            enumerable: original.enumerable,
            set: original.set,
            get() {
                if (!firstRow)
                    firstRow = this;
                return original.get.call(this);
            },
        });
        let answer;
        try {
            answer = JSON.parse(readTable());
        } finally {
            Object.defineProperty(prototype, 'innerHTML', original);
        }
        const read = request.frame >= 0 ? answer.f && answer.f[request.frame] && answer.f[request.frame].d : answer;
        const taken = read && read.t && read.t[0];
        if (!taken || taken.i !== index || !firstRow)
            return null;
        // A record is a child of its list; a grid's row sits in it through row groups and
        // elements without a role.
        if (taken.k)
            return firstRow.parentElement;
        for (let element = firstRow.parentElement; element; element = element.parentElement)
            if (gridRole(element))
                return element;
        return null;
    }

    function draw(table) {
        table.scrollIntoView({block: 'center', inline: 'nearest'});
        const doc = table.ownerDocument;
        const host = doc.createElement('div');
        host.setAttribute(MARK, '');
        const hostStyle = {
            'display': 'block', 'position': 'absolute', 'left': '0', 'top': '0', 'width': '0', 'height': '0',
            'margin': '0', 'padding': '0', 'border': '0', 'overflow': 'visible', 'pointer-events': 'none',
            'z-index': '2147483647', 'transform': 'none', 'visibility': 'visible', 'opacity': '1',
        };
        for (const name in hostStyle)
            host.style.setProperty(name, hostStyle[name], 'important');
        const root = host.attachShadow({mode: 'closed'});
        const box = doc.createElement('div');
        root.appendChild(box);
        doc.documentElement.appendChild(host);
        // The host is placed by whatever contains it; the box is placed from where the host is.
        const origin = host.getBoundingClientRect();
        const rect = table.getBoundingClientRect();
        // Drawn inside the table's rectangle, so the box never widens what the page scrolls.
        box.style.cssText = 'position: absolute; box-sizing: border-box; pointer-events: none; margin: 0;' +
            'border: 3px solid #e8222c; background: rgba(232, 34, 44, 0.08);' +
            'left: ' + (rect.left - origin.left) + 'px; top: ' + (rect.top - origin.top) + 'px;' +
            'width: ' + rect.width + 'px; height: ' + rect.height + 'px;';
    }

    try {
        clear();
        if (!request.show)
            return JSON.stringify({shown: false});
        const win = request.frame >= 0 ? window.frames[request.frame] : window;
        if (!win)
            return JSON.stringify({shown: false, why: 'no frame ' + request.frame});
        const table = findTable(win, request.table);
        if (!table)
            return JSON.stringify({shown: false, why: 'no table ' + (request.table + 1)});
        draw(table);
        return JSON.stringify({shown: true});
    } catch (e) {
        return JSON.stringify({shown: false, why: String(e && e.message || e)});
    }
})
