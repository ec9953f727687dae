// The login agent: finds the login form of the page shown in the browser pane, fills the item's
// username and password into it as typing would, and sends it with the page's own button.
//
// It runs in the program's own script world of every frame (the page's scripts cannot see its
// variables; the page's elements are shared). The program drives it from the top frame:
//   scan()              looks for the login form in this document, its open shadow roots and its
//                       frames of the same origin; returns what it found (no secrets involved).
//                       When there is none, it asks the agents in its frames of other origins.
//   fill(token, send)   fills the fields the last scan found. The username and password are not
//                       part of any script: they come as JSON through the web channel, asked for
//                       with the one-time token (and the address of the frame they are for), and
//                       live only in local variables of one callback. The result goes back through
//                       the channel (report).
// Each document remembers which fields it filled and which button it pressed, so that a step that
// stays on screen until the next one replaces it is not sent twice.
//
// Frames of another origin (login.shop.com inside www.shop.com) cannot be reached from the top
// frame's agent, nor through the web channel; their own copy of the agent does the work there, and
// the two talk with postMessage (see "Frames of another origin" below).
(function () {
    'use strict';
    if (window.quilletLoginAgent)
        return;

    var MAX_ELEMENTS = 20000; // a scan looks at no more elements than this
    var MAX_FIELDS = 500;     // and weighs no more text and password fields
    var MAX_DEPTH = 6;        // frames and shadow roots inside each other

    var USER_WORDS = /user|login|log-in|e-?mail|mail|account|ident|member|nick|benutzer|usuario|utilisateur|identifiant/i;
    var NOT_USER_WORDS = /search|query|coupon|promo|captcha|otp|verification|zip|postal|phone-?code|\bcode\b/i;
    // Forms that are not the login: search, newsletter, registration, password reset, contact.
    var OTHER_FORM_WORDS =
        /search|newsletter|subscri|forgot|reset|recover|lost|regist|sign-?up|signup|create[ _-]?account|join|contact|comment|feedback/i;
    var OTHER_BUTTON_WORDS =
        /search|newsletter|subscri|forgot|reset|recover|regist|sign ?up|create|join|send (me )?(a )?link|contact|cancel|back/i;
    var LOGIN_BUTTON_WORDS =
        /log ?in|sign ?in|logon|anmelden|einloggen|connexion|connect|iniciar|accedi|entrar|next|continue|weiter|proceed|submit|enter|go\b|ok\b/i;

    var MAX_PROBED = 20;      // frames of other origins asked per scan
    var MAX_MESSAGE = 65536;  // longer messages are none of the agents'
    var ANSWER_MS = 2000;     // a frame's answer older than this is not acted on

    var documentId = Math.random().toString(36).slice(2) + Date.now().toString(36);
    var bridge = null;     // the program's side, through the web channel (top frame only)
    var found = null;      // what the last scan chose (in a frame: for the top frame's agent)
    var filled = [];       // fields this document filled
    var pressed = [];      // buttons this document pressed (and forms it sent)

    function connectBridge() {
        if (bridge || window !== window.top)
            return;
        if (typeof QWebChannel === 'undefined' || typeof qt === 'undefined' || !qt.webChannelTransport)
            return;
        try {
            new QWebChannel(qt.webChannelTransport, function (channel) {
                bridge = channel.objects.quilletLogin || null;
            });
        } catch (e) {
            bridge = null;
        }
    }

    function parentOf(node) {
        if (node.parentElement)
            return node.parentElement;
        var root = node.parentNode;
        return root && root.host ? root.host : null; // out of a shadow root
    }

    // Whether a user could see el and type into it (or click it): laid out, of some size, inside
    // the page's area, not transparent, not clipped away, and its frame likewise. Decoy fields
    // (honeypots) are hidden in every one of these ways.
    function shown(el, depth) {
        if (!el || !el.isConnected)
            return false;
        var doc = el.ownerDocument;
        var win = doc.defaultView;
        if (!win || !el.getClientRects().length)
            return false;
        var r = el.getBoundingClientRect();
        if (r.width < 5 || r.height < 5)
            return false;
        var left = r.left + win.scrollX;
        var top = r.top + win.scrollY;
        var root = doc.documentElement;
        var width = Math.max(root.scrollWidth, win.innerWidth);
        var height = Math.max(root.scrollHeight, win.innerHeight);
        if (left + r.width <= 0 || top + r.height <= 0 || left >= width || top >= height)
            return false;
        if (el.getAttribute('aria-hidden') === 'true')
            return false;
        for (var n = el, k = 0; n && n.nodeType === 1 && k < 40; n = parentOf(n), ++k) {
            var style = win.getComputedStyle(n);
            if (style.visibility === 'hidden' || style.visibility === 'collapse' || style.display === 'none')
                return false;
            if (parseFloat(style.opacity) < 0.1)
                return false;
            if (style.position === 'absolute' && style.clip && style.clip !== 'auto')
                return false;
            if (n === el && style.clipPath && style.clipPath !== 'none')
                return false;
        }
        var frame = null;
        try {
            frame = win.frameElement;
        } catch (e) {
            frame = null;
        }
        if (frame && (depth || 0) < MAX_DEPTH)
            return shown(frame, (depth || 0) + 1);
        return true;
    }

    function isWebDocument(doc) {
        try {
            var p = doc.location.protocol;
            return p === 'http:' || p === 'https:';
        } catch (e) {
            return false;
        }
    }

    // The inputs and buttons of doc, its open shadow roots and its frames of the same origin, in
    // document order; and the addresses of the frames it cannot look into.
    function collect(doc) {
        var out = {inputs: [], buttons: [], closedFrames: []};
        var count = 0;
        function walk(root, depth) {
            var all = root.querySelectorAll('*');
            for (var i = 0; i < all.length && count < MAX_ELEMENTS; ++i, ++count) {
                var el = all[i];
                var tag = el.localName;
                if (tag === 'input') {
                    out.inputs.push(el);
                } else if (tag === 'button' || el.getAttribute('role') === 'button') {
                    out.buttons.push(el);
                } else if ((tag === 'iframe' || tag === 'frame') && depth < MAX_DEPTH) {
                    var inner = null;
                    try {
                        inner = el.contentDocument;
                    } catch (e) {
                        inner = null;
                    }
                    if (inner && inner.documentElement && isWebDocument(inner))
                        walk(inner, depth + 1);
                    else if (!inner && el.src && shown(el))
                        out.closedFrames.push(el);
                }
                if (el.shadowRoot && depth < MAX_DEPTH)
                    walk(el.shadowRoot, depth + 1);
            }
        }
        walk(doc, 0);
        return out;
    }

    function typeOf(input) {
        return (input.getAttribute('type') || 'text').toLowerCase();
    }

    function autocompleteOf(input) {
        return (input.getAttribute('autocomplete') || '').toLowerCase();
    }

    function usable(input) {
        return !input.disabled && !input.readOnly && shown(input);
    }

    function isTextLike(input) {
        var t = typeOf(input);
        return t === 'text' || t === 'email' || t === 'tel' || t === '' || t === 'username';
    }

    function labelText(input) {
        var parts = [];
        try {
            if (input.labels)
                for (var i = 0; i < input.labels.length; ++i)
                    parts.push(input.labels[i].textContent || '');
        } catch (e) {
            // no labels
        }
        return parts.join(' ');
    }

    function describe(input) {
        return [input.name, input.id, input.getAttribute('placeholder'), input.getAttribute('aria-label'),
                labelText(input)].join(' ');
    }

    function buttonText(button) {
        if (button.localName === 'input')
            return button.value || '';
        return (button.textContent || '') + ' ' + (button.getAttribute('aria-label') || '') + ' ' +
               (button.getAttribute('name') || '') + ' ' + (button.id || '');
    }

    function userScore(input) {
        var ac = autocompleteOf(input);
        var text = describe(input);
        if (typeOf(input) === 'search' || NOT_USER_WORDS.test(text) || input.closest('[role=search]') ||
            input.name === 'q' || input.name === 's')
            return 0;
        if (/\b(username|email)\b/.test(ac))
            return 4;
        if (typeOf(input) === 'email')
            return 3;
        if (USER_WORDS.test(text))
            return 2;
        if (typeOf(input) === 'tel')
            return 1;
        return 1;
    }

    // What a form (or the part of the page that holds formless fields) says about itself.
    function formWords(group) {
        if (!group || group.nodeType !== 1)
            return '';
        return [group.id, group.getAttribute('name'), group.getAttribute('class'), group.getAttribute('action'),
                group.getAttribute('aria-label'), group.getAttribute('role')].join(' ');
    }

    // The group a field belongs to: its form; for fields without one, the nearest part of the page
    // that sets it apart (a section, a dialog, a fieldset), else the document or shadow root.
    var SECTIONS = '[role=form], [role=search], [role=dialog], fieldset, section, article, aside, header, footer, ' +
                   'nav, dialog, main';
    function groupOf(input) {
        return input.form || input.closest(SECTIONS) || input.getRootNode();
    }

    function contains(container, node) {
        for (var n = node; n; n = parentOf(n))
            if (n === container)
                return true;
        return false;
    }

    // The button that sends the group: a submit button of its form, or for fields without a form
    // the button of their smallest container that holds one. Buttons that lead elsewhere
    // (forgot password, sign up, cancel) are never taken.
    function buttonOf(group, fields, buttons) {
        var candidates = [];
        var last = fields[fields.length - 1];
        if (group.localName === 'form') {
            var elements = group.elements;
            for (var i = 0; i < elements.length; ++i) {
                var el = elements[i];
                var t = (el.getAttribute('type') || (el.localName === 'button' ? 'submit' : '')).toLowerCase();
                if ((el.localName === 'button' || el.localName === 'input') && (t === 'submit' || t === 'image') &&
                    !el.disabled && shown(el))
                    candidates.push(el);
            }
        } else {
            var container = last;
            for (var up = 0; up < 6 && container; ++up) {
                container = parentOf(container);
                if (!container)
                    break;
                var all = true;
                for (var f = 0; f < fields.length; ++f)
                    if (!contains(container, fields[f]))
                        all = false;
                if (!all)
                    continue;
                for (var b = 0; b < buttons.length; ++b)
                    if (contains(container, buttons[b]) && !buttons[b].disabled && shown(buttons[b]))
                        candidates.push(buttons[b]);
                var inputs = container.querySelectorAll('input[type=submit], input[type=button], input[type=image]');
                for (var j = 0; j < inputs.length; ++j)
                    if (!inputs[j].disabled && shown(inputs[j]))
                        candidates.push(inputs[j]);
                if (candidates.length)
                    break;
            }
        }
        var best = null;
        for (var c = 0; c < candidates.length; ++c) {
            var text = buttonText(candidates[c]);
            if (OTHER_BUTTON_WORDS.test(text) && !LOGIN_BUTTON_WORDS.test(text))
                continue;
            if (LOGIN_BUTTON_WORDS.test(text))
                return candidates[c];
            if (!best)
                best = candidates[c];
        }
        return best;
    }

    // The best login form of this document: a group with one visible password field (two, or one
    // for a new password, is a registration or a password change), or a group with a username
    // field alone that a "Next"-like button sends (the first step of a login in steps).
    function choose(doc) {
        var parts = collect(doc);
        var groups = [];
        var byGroup = new Map();
        var registration = false;
        for (var i = 0, weighed = 0; i < parts.inputs.length && weighed < MAX_FIELDS; ++i) {
            var input = parts.inputs[i];
            var t = typeOf(input);
            if (t !== 'password' && !isTextLike(input))
                continue;
            ++weighed;
            if (!usable(input))
                continue;
            var key = groupOf(input);
            var entry = byGroup.get(key);
            if (!entry) {
                entry = {group: key, passwords: [], texts: []};
                byGroup.set(key, entry);
                groups.push(entry);
            }
            (t === 'password' ? entry.passwords : entry.texts).push(input);
        }
        var best = null;
        var bestScore = 0;
        for (var g = 0; g < groups.length; ++g) {
            var e = groups[g];
            var form = e.group.localName === 'form' ? e.group : null;
            var groupElement = e.group.nodeType === 1 ? e.group : null;
            var newPassword = e.passwords.some(function (p) { return /new-password/.test(autocompleteOf(p)); });
            if (e.passwords.length > 1 || newPassword) {
                registration = true;
                continue;
            }
            if (OTHER_FORM_WORDS.test(formWords(groupElement)))
                continue;
            var password = e.passwords[0] || null;
            var user = null;
            var userBest = 0;
            for (var k = 0; k < e.texts.length; ++k) {
                var text = e.texts[k];
                if (password && !(text.compareDocumentPosition(password) & Node.DOCUMENT_POSITION_FOLLOWING) &&
                    text.getRootNode() === password.getRootNode())
                    continue; // after the password field: not its username
                var s = userScore(text);
                if (s > 0 && s >= userBest) {
                    user = text;
                    userBest = s;
                }
            }
            var fields = [user, password].filter(Boolean);
            if (!fields.length)
                continue;
            var button = buttonOf(e.group, fields, parts.buttons);
            var score;
            if (password) {
                if (e.texts.length > 3)
                    continue; // many fields and one password: a sign-up form
                if (button && OTHER_BUTTON_WORDS.test(buttonText(button)) &&
                    !LOGIN_BUTTON_WORDS.test(buttonText(button)))
                    continue;
                score = 10 + (button && LOGIN_BUTTON_WORDS.test(buttonText(button)) ? 2 : 0);
            } else {
                // A username alone is a login step only when the page says so: autocomplete, or
                // a button that goes on to the next step or logs in.
                if (e.texts.length > 2 || !user)
                    continue;
                var marked = /\busername\b/.test(autocompleteOf(user));
                var onward = button && LOGIN_BUTTON_WORDS.test(buttonText(button)) &&
                             !OTHER_BUTTON_WORDS.test(buttonText(button));
                if (!marked && !onward)
                    continue;
                if (userBest < 2)
                    continue;
                score = 5;
            }
            if (score > bestScore) {
                best = {group: e.group, form: form, user: user, password: password, button: button,
                        doc: (user || password).ownerDocument};
                bestScore = score;
            }
        }
        return {best: best, registration: registration, closedFrames: parts.closedFrames};
    }

    function isFilled(el) {
        return filled.indexOf(el) >= 0;
    }

    // Puts value into input as typing does: the element's own value setter (so that a page's
    // framework that watches the property sees a change), then the events typing sends.
    function type(input, value) {
        var win = input.ownerDocument.defaultView;
        input.focus();
        var setter = Object.getOwnPropertyDescriptor(win.HTMLInputElement.prototype, 'value').set;
        setter.call(input, value);
        input.dispatchEvent(new win.InputEvent('input', {bubbles: true, composed: true, inputType: 'insertText', data: value}));
        input.dispatchEvent(new win.Event('change', {bubbles: true}));
    }

    function send(f) {
        var target = f.button;
        if (target) {
            if (pressed.indexOf(target) >= 0)
                return false;
            pressed.push(target);
            target.click();
            return true;
        }
        if (f.form) {
            if (pressed.indexOf(f.form) >= 0)
                return false;
            pressed.push(f.form);
            if (typeof f.form.requestSubmit === 'function')
                f.form.requestSubmit();
            else
                f.form.submit();
            return true;
        }
        // No form and no button: Enter in the last field, as a user would press it.
        var last = f.password || f.user;
        if (pressed.indexOf(last) >= 0)
            return false;
        pressed.push(last);
        var win = last.ownerDocument.defaultView;
        var init = {key: 'Enter', code: 'Enter', keyCode: 13, which: 13, bubbles: true, cancelable: true, composed: true};
        last.dispatchEvent(new win.KeyboardEvent('keydown', init));
        last.dispatchEvent(new win.KeyboardEvent('keypress', init));
        last.dispatchEvent(new win.KeyboardEvent('keyup', init));
        return true;
    }

    function sameFound(f) {
        return f && f.doc.defaultView && f.doc.location.href === f.frameUrl &&
               (!f.user || f.user.isConnected) && (!f.password || f.password.isConnected);
    }

    // What is left to do on this document's login form (no secrets involved); sets found.
    function assess(choice, result) {
        var best = choice.best;
        found = null;
        if (!best) {
            result.state = choice.registration ? 'registration' : 'none';
            return result;
        }
        best.frameUrl = String(best.doc.location.href);
        result.frame = best.frameUrl;
        // What is left to do on this document: fields not filled yet; a step whose fields were
        // all filled here waits for the page to go on.
        var user = best.user && !(isFilled(best.user) && best.user.value) ? best.user : null;
        var password = best.password && !isFilled(best.password) ? best.password : null;
        if (!password && best.password) {
            result.state = 'waiting';
            return result;
        }
        if (!password && !user) {
            result.state = 'waiting';
            return result;
        }
        best.user = user;
        best.password = password;
        found = best;
        result.state = 'ready';
        result.user = !!user;
        result.password = !!password;
        return result;
    }

    // Fills the fields f holds with what secrets carries and, when sendIt, sends the form. The
    // result says what was done; it holds no secret.
    function fillFound(f, secrets, sendIt) {
        var result = {user: false, password: false, sent: false};
        try {
            if (sameFound(f) && secrets) {
                if (f.user && typeof secrets.username === 'string') {
                    type(f.user, secrets.username);
                    filled.push(f.user);
                    result.user = true;
                }
                if (f.password && typeof secrets.password === 'string') {
                    type(f.password, secrets.password);
                    filled.push(f.password);
                    result.password = true;
                }
                if (sendIt && (result.user || result.password)) {
                    // A field that refuses what was filled (a username that is no e-mail
                    // address in an e-mail field) stops the browser from sending: say so.
                    [f.user, f.password].forEach(function (el) {
                        if (el && !result.invalid && el.validity && !el.validity.valid)
                            result.invalid = String(el.validationMessage || 'invalid').slice(0, 200);
                    });
                    result.sent = send(f);
                }
            }
        } catch (e) {
            result.error = String(e && e.message);
        }
        return result;
    }

    // ---- Frames of another origin ----
    //
    // The top frame's agent asks the agent of each of its frames of another origin whether it
    // holds a login form ("probe"; no secret in it). A frame that does answers ("found") to the top
    // frame. For such a frame the top agent asks the program for the secrets, naming the frame's
    // origin as the browser reported it (event.origin, never what a message says); the program
    // checks that origin and the top page against the item's site and refuses otherwise. The top
    // agent posts the secrets to that frame ("fill") with exactly that origin as targetOrigin, so
    // the browser delivers them only while the frame still shows that origin. The frame's agent
    // fills and sends as in the top frame and posts the outcome back ("result", no secret in it).
    //
    // Every message goes to one window and one exact origin, never to '*'. The page's own scripts
    // can post messages too, with any content, and a page of any site can frame a login page: a
    // message counts only when it comes from the expected window (event.source) and origin
    // (event.origin), is a string with the agents' mark, carries a valid HMAC under the program's
    // key for this run (KEY, put into this script by the program; the pages' scripts cannot read
    // the source of a script in this world, and the key itself never travels), parses, names the
    // sending and the receiving origin as the browser does, and carries the nonce of the top
    // document's agent. Without the key, a page that frames a login page could post "fill" with
    // values of its own and have them sent there. The frame's own page scripts also receive the
    // "fill" message: acceptable only because the program let that origin have the secrets (they
    // could read the filled fields just as well).
    //
    // Only frames directly inside the top frame take part; frames of another origin nested deeper
    // are left out.
    var MARK = 'quillet-login:';
    var KEY = '@LOGIN_AGENT_KEY@';
    var HAS_KEY = /^[0-9a-f]{32,}$/.test(KEY); // without one, frames of other origins are left out

    // HMAC-SHA-256 of text under key (both strings, UTF-8), as hex. The page's context may be no
    // secure context, where crypto.subtle is missing: hence a plain implementation.
    var SHA_K = [
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2];

    function sha256(bytes) {
        var length = bytes.length;
        var padded = new Uint8Array(((length + 9 + 63) >> 6) << 6);
        padded.set(bytes);
        padded[length] = 0x80;
        var bits = length * 8;
        for (var b = 0; b < 4; ++b)
            padded[padded.length - 1 - b] = (bits >>> (8 * b)) & 0xff;
        padded[padded.length - 5] = Math.floor(length / 0x20000000) & 0xff;
        var h = [0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19];
        var w = new Array(64);
        for (var off = 0; off < padded.length; off += 64) {
            for (var i = 0; i < 16; ++i)
                w[i] = (padded[off + 4 * i] << 24) | (padded[off + 4 * i + 1] << 16) | (padded[off + 4 * i + 2] << 8) |
                       padded[off + 4 * i + 3];
            for (i = 16; i < 64; ++i) {
                var x = w[i - 15], y = w[i - 2];
                var s0 = ((x >>> 7) | (x << 25)) ^ ((x >>> 18) | (x << 14)) ^ (x >>> 3);
                var s1 = ((y >>> 17) | (y << 15)) ^ ((y >>> 19) | (y << 13)) ^ (y >>> 10);
                w[i] = (w[i - 16] + s0 + w[i - 7] + s1) | 0;
            }
            var a = h[0], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7], bb = h[1];
            for (i = 0; i < 64; ++i) {
                var S1 = ((e >>> 6) | (e << 26)) ^ ((e >>> 11) | (e << 21)) ^ ((e >>> 25) | (e << 7));
                var t1 = (k + S1 + ((e & f) ^ (~e & g)) + SHA_K[i] + w[i]) | 0;
                var S0 = ((a >>> 2) | (a << 30)) ^ ((a >>> 13) | (a << 19)) ^ ((a >>> 22) | (a << 10));
                var t2 = (S0 + ((a & bb) ^ (a & c) ^ (bb & c))) | 0;
                k = g;
                g = f;
                f = e;
                e = (d + t1) | 0;
                d = c;
                c = bb;
                bb = a;
                a = (t1 + t2) | 0;
            }
            h[0] = (h[0] + a) | 0;
            h[1] = (h[1] + bb) | 0;
            h[2] = (h[2] + c) | 0;
            h[3] = (h[3] + d) | 0;
            h[4] = (h[4] + e) | 0;
            h[5] = (h[5] + f) | 0;
            h[6] = (h[6] + g) | 0;
            h[7] = (h[7] + k) | 0;
        }
        var out = new Uint8Array(32);
        for (i = 0; i < 8; ++i)
            for (b = 0; b < 4; ++b)
                out[4 * i + b] = (h[i] >>> (24 - 8 * b)) & 0xff;
        return out;
    }

    function hmac(key, text) {
        var encoder = new TextEncoder();
        var k = encoder.encode(key);
        if (k.length > 64)
            k = sha256(k);
        var message = encoder.encode(text);
        var inner = new Uint8Array(64 + message.length);
        var outer = new Uint8Array(64 + 32);
        for (var i = 0; i < 64; ++i) {
            inner[i] = (k[i] || 0) ^ 0x36;
            outer[i] = (k[i] || 0) ^ 0x5c;
        }
        inner.set(message, 64);
        outer.set(sha256(inner), 64);
        return Array.prototype.map.call(sha256(outer), function (v) { return ('0' + v.toString(16)).slice(-2); }).join('');
    }


    function randomText() {
        var words = new Uint32Array(4);
        crypto.getRandomValues(words);
        return Array.prototype.map.call(words, function (w) { return ('0000000' + w.toString(16)).slice(-8); }).join('');
    }

    function isWebOrigin(origin) {
        return typeof origin === 'string' && /^https?:\/\/[^/\s]+$/.test(origin);
    }

    // The message in data, sent from origin from to origin to, or null when it is none of the
    // agents' or malformed.
    function parseMessage(data, from, to) {
        if (!HAS_KEY || typeof data !== 'string' || data.length > MAX_MESSAGE || data.lastIndexOf(MARK, 0) !== 0)
            return null;
        var mac = data.slice(MARK.length, MARK.length + 64);
        var text = data.slice(MARK.length + 65);
        if (data.charAt(MARK.length + 64) !== ':' || hmac(KEY, text) !== mac)
            return null;
        var m;
        try {
            m = JSON.parse(text);
        } catch (e) {
            return null;
        }
        if (!m || typeof m !== 'object' || typeof m.type !== 'string' || typeof m.nonce !== 'string' ||
            !/^[0-9a-f]{32}$/.test(m.nonce) || m.from !== from || m.to !== to)
            return null;
        return m;
    }

    function post(win, origin, message) {
        if (!HAS_KEY)
            return;
        message.from = location.origin;
        message.to = origin;
        var text = JSON.stringify(message);
        try {
            win.postMessage(MARK + hmac(KEY, text) + ':' + text, origin);
        } catch (e) {
            // the frame went away
        }
    }

    var nonce = randomText(); // the top document's mark on the exchange with its frames
    var probed = [];          // the frames of other origins the last scan asked (elements)
    var answers = [];         // their answers: {win, origin, state, user, password, at}
    var pending = null;       // the fill under way in a frame: {token, win, origin}
    var rounds = 0;           // scans so far (several frames with a form take turns)

    function frameOrigin(el) {
        try {
            var url = new URL(el.src, document.baseURI);
            return isWebOrigin(url.origin) ? url.origin : null;
        } catch (e) {
            return null;
        }
    }

    function probeFrames(frames) {
        probed = frames.slice(0, MAX_PROBED);
        probed.forEach(function (el) {
            var origin = frameOrigin(el);
            var win = el.contentWindow;
            if (origin && win)
                post(win, origin, {type: 'probe', nonce: nonce});
        });
    }

    function isProbed(win) {
        for (var i = 0; i < probed.length; ++i)
            if (probed[i].isConnected && probed[i].contentWindow === win)
                return true;
        return false;
    }

    // A frame of another origin whose agent found a login form there, lately; null for none.
    function frameWithForm() {
        var now = Date.now();
        var ready = answers.filter(function (a) {
            return a.state === 'ready' && now - a.at < ANSWER_MS && isProbed(a.win);
        });
        return ready.length ? ready[rounds % ready.length] : null;
    }

    function onTopMessage(event) {
        if (!event.source || event.source === window || !isWebOrigin(event.origin))
            return;
        var m = parseMessage(event.data, event.origin, location.origin);
        if (!m || m.nonce !== nonce)
            return;
        if (m.type === 'found') {
            if (!isProbed(event.source))
                return;
            var states = ['ready', 'waiting', 'registration', 'none'];
            answers = answers.filter(function (a) { return a.win !== event.source; });
            answers.push({win: event.source, origin: event.origin,
                          state: states.indexOf(m.state) >= 0 ? m.state : 'none', user: m.user === true,
                          password: m.password === true, at: Date.now()});
        } else if (m.type === 'result') {
            var p = pending;
            if (!p || event.source !== p.win || event.origin !== p.origin || !bridge)
                return;
            pending = null;
            var result = {user: m.user === true, password: m.password === true, sent: m.sent === true};
            if (typeof m.invalid === 'string' && m.invalid)
                result.invalid = m.invalid.slice(0, 200);
            bridge.report(p.token, JSON.stringify(result));
        }
    }

    // In a frame directly inside the top frame: the top frame's origin, as the browser knows it;
    // null elsewhere.
    function topOrigin() {
        if (window === window.top || window.parent !== window.top)
            return null;
        var ancestors = location.ancestorOrigins;
        if (!ancestors || ancestors.length !== 1 || !isWebOrigin(ancestors[0]))
            return null;
        return ancestors[0];
    }

    var topNonce = null; // the nonce of the probe this frame answered last

    function onFrameMessage(event) {
        var origin = topOrigin();
        if (!origin || event.source !== window.parent || event.origin !== origin || !isWebDocument(document))
            return;
        var m = parseMessage(event.data, origin, location.origin);
        if (!m)
            return;
        if (m.type === 'probe') {
            topNonce = m.nonce;
            var look = assess(choose(document), {state: 'none', user: false, password: false});
            post(window.parent, origin, {type: 'found', nonce: m.nonce, state: look.state, user: look.user,
                                          password: look.password});
        } else if (m.type === 'fill' && m.nonce === topNonce) {
            // What is left to do now, which may differ from what the probe was told.
            assess(choose(document), {});
            var f = found;
            found = null;
            var sendIt = m.send === true;
            var secrets = {username: m.username, password: m.password};
            m = null;
            var result = fillFound(f, secrets, sendIt);
            secrets = null;
            post(window.parent, origin, {type: 'result', nonce: topNonce, user: result.user,
                                          password: result.password, sent: result.sent,
                                          invalid: result.invalid || ''});
        }
    }

    window.addEventListener('message', function (event) {
        if (window === window.top)
            onTopMessage(event);
        else
            onFrameMessage(event);
    });

    window.quilletLoginAgent = {
        documentId: function () {
            return documentId;
        },

        scan: function () {
            connectBridge();
            ++rounds;
            var result = {doc: documentId, began: performance.timeOrigin, top: String(location.href), frame: '', state: 'none', user: false,
                          password: false, bridge: !!bridge, frames: [], cross: false};
            if (!document.documentElement)
                return result;
            var choice = choose(document);
            result.frames = choice.closedFrames.slice(0, 20).map(function (el) { return String(el.src); });
            assess(choice, result);
            if (result.state !== 'none' && result.state !== 'registration')
                return result;
            // No login form here: ask the frames of other origins; their answers count from the
            // next scan on.
            probeFrames(choice.closedFrames);
            var a = frameWithForm();
            if (!a)
                return result;
            found = {cross: true, win: a.win, origin: a.origin};
            result.state = 'ready';
            result.cross = true;
            result.frame = a.origin + '/';
            result.user = a.user;
            result.password = a.password;
            return result;
        },

        fill: function (token, sendIt) {
            var f = found;
            found = null;
            if (f && f.cross) {
                if (!bridge || !isProbed(f.win))
                    return 'stale';
                answers = []; // what the frames said before this fill is out of date
                pending = null;
                bridge.take(token, f.origin, function (json) {
                    var secrets = null;
                    try {
                        secrets = JSON.parse(json || '{}');
                    } catch (e) {
                        secrets = null;
                    }
                    json = null;
                    if (!secrets || (typeof secrets.username !== 'string' && typeof secrets.password !== 'string')) {
                        bridge.report(token, JSON.stringify({user: false, password: false, sent: false}));
                        return;
                    }
                    pending = {token: token, win: f.win, origin: f.origin};
                    // targetOrigin is the origin the program allowed: should the frame have gone
                    // elsewhere since, the browser drops the message.
                    post(f.win, f.origin, {type: 'fill', nonce: nonce, send: !!sendIt, username: secrets.username,
                                           password: secrets.password});
                    secrets = null;
                });
                return 'filling';
            }
            if (!bridge || !sameFound(f))
                return 'stale';
            bridge.take(token, f.frameUrl, function (json) {
                var result = {user: false, password: false, sent: false};
                var secrets = null;
                try {
                    if (sameFound(f))
                        secrets = JSON.parse(json || '{}');
                } catch (e) {
                    result.error = String(e && e.message);
                }
                json = null;
                if (secrets)
                    result = fillFound(f, secrets, sendIt);
                secrets = null;
                bridge.report(token, JSON.stringify(result));
            });
            return 'filling';
        }
    };

    connectBridge();
})();
