#!/usr/bin/python3
"""The dashboard in headless Chromium, driven over the DevTools protocol.

A collector with seeded surveys (and one hostile upload posted over HTTPS) is signed in to with
the keyboard; the country and date filters change the figures, which must equal what the
database holds; the CSV export must hold the same surveys and answer the same question; a
signed-out browser must be refused. Screenshots go to the folder given by --screenshots.
Exit 77 (skipped) without chromium or python3-websocket.
"""
import argparse, base64, csv, datetime, gzip, io, json, os, re, shutil, socket, sqlite3, ssl
import subprocess, sys, tempfile, time, urllib.request, zlib

try:
    import websocket
except ImportError:
    print('python3-websocket is not installed'); sys.exit(77)

ap = argparse.ArgumentParser()
ap.add_argument('--collector', required=True)
ap.add_argument('--screenshots', required=True)
ap.add_argument('--chromium', default=shutil.which('chromium') or '/usr/bin/chromium')
args = ap.parse_args()
if not os.access(args.chromium, os.X_OK):
    print('chromium is not installed'); sys.exit(77)

work = tempfile.mkdtemp(prefix='tavdash.')
db = os.path.join(work, 'surveys.sqlite')
procs = []


def run(*cmd, stdin=None):
    return subprocess.run([args.collector, *cmd], input=stdin, check=True, capture_output=True, text=True).stdout


def check(cond, what):
    if not cond:
        raise AssertionError(what)
    print('ok:', what)


def post_upload(url, ca, session, model, country):
    """One upload the way a television sends it: gzip envelope, CRC-32 header, multipart."""
    items = ''.join(f'<item index="{q}" selected="{s}">\n<question><![CDATA[1. Was your problem solved by the remote support service?]]></question>\n'
                    f'<answer><![CDATA[Yes]]></answer>\n</item>\n' for q, s in ((1, 1), (2, 2), (3, 1), (4, 1), (5, 1)))
    esc = lambda t: t.replace('&', '&amp;').replace('<', '&lt;').replace('>', '&gt;')
    xml = (f'<?xml version="1.0" encoding="UTF-8"?>\n<survey>\n<deviceinfo>\n<DUID>D-HOSTILE</DUID>\n<LocalSet>L</LocalSet>\n'
           f'<Country>{country}</Country>\n<Model_Name>{esc(model)}</Model_Name>\n<Firmware_Version>F-1</Firmware_Version>\n'
           f'</deviceinfo>\n<result>{items}</result>\n</survey>')
    body_file = gzip.compress(xml.encode())
    boundary = 'tavdashboundary'
    body = (f'--{boundary}\r\nContent-Disposition: form-data; name="file"; filename="Survey_1.zip"\r\n'
            f'Content-Type: application/octet-stream\r\n\r\n').encode() + body_file + f'\r\n--{boundary}--\r\n'.encode()
    headers = {'pincode': '4711', 'duid': 'D-HOSTILE', 'crc32': str(zlib.crc32(body_file)), 'category': 'TAVAS',
               'sessionid': session, 'source': 'survey', 'Content-Type': f'multipart/form-data; boundary={boundary}'}
    ctx = ssl.create_default_context(cafile=ca)
    with urllib.request.urlopen(urllib.request.Request(url, body, headers), context=ctx, timeout=10) as r:
        check(b'stat="ok"' in r.read(), 'the hostile upload is stored')


class Browser:
    def __init__(self):
        self.proc = subprocess.Popen([args.chromium, '--headless=new', '--no-sandbox', '--user-data-dir=' + work + '/chrome',
                                      '--remote-debugging-port=0', '--ignore-certificate-errors', '--disable-gpu',
                                      '--lang=en-US', 'about:blank'],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        procs.append(self.proc)
        port = next(m.group(1) for line in self.proc.stderr
                    if (m := re.search(r'DevTools listening on ws://[^:]+:(\d+)/', line)))
        targets = json.load(urllib.request.urlopen(f'http://127.0.0.1:{port}/json/list'))
        self.ws = websocket.create_connection(next(t for t in targets if t['type'] == 'page')['webSocketDebuggerUrl'],
                                              timeout=30)
        self.seq = 0

    def cdp(self, method, **params):
        self.seq += 1
        self.ws.send(json.dumps({'id': self.seq, 'method': method, 'params': params}))
        while (msg := json.loads(self.ws.recv())).get('id') != self.seq:
            pass
        if 'error' in msg:
            raise RuntimeError(f'{method}: {msg["error"]}')
        return msg['result']

    def js(self, expr):
        r = self.cdp('Runtime.evaluate', expression=expr, returnByValue=True, awaitPromise=True)
        if 'exceptionDetails' in r:
            raise RuntimeError(r['exceptionDetails'].get('exception', {}).get('description', str(r['exceptionDetails'])))
        return r['result'].get('value')

    def wait_for(self, expr, timeout=20):
        end = time.time() + timeout
        while time.time() < end:
            try:
                if self.js(expr):
                    return
            except RuntimeError:
                pass
            time.sleep(0.05)
        state = self.js("location.href + ' | ' + document.body.innerText.slice(0, 300)")
        raise TimeoutError(f'{expr} (page: {state})')

    def key(self, key, code=None, vk=0, text=None):
        for kind in ('keyDown', 'keyUp'):
            p = dict(type=kind if text is None or kind == 'keyUp' else 'keyDown', key=key, code=code or key,
                     windowsVirtualKeyCode=vk)
            if text is not None and kind == 'keyDown':
                p['text'] = text
            self.cdp('Input.dispatchKeyEvent', **p)

    def tab_to(self, selector, limit=80):
        """Presses Tab until the element has the focus: it must be reachable by keyboard."""
        for _ in range(limit):
            if self.js(f"document.activeElement === document.querySelector({json.dumps(selector)})"):
                return
            self.key('Tab', vk=9)
        raise AssertionError(f'{selector} cannot be reached with Tab')

    def shot(self, name):
        data = self.cdp('Page.captureScreenshot', format='png', captureBeyondViewport=True)['data']
        os.makedirs(args.screenshots, exist_ok=True)
        path = os.path.join(args.screenshots, name)
        open(path, 'wb').write(base64.b64decode(data))
        print('screenshot:', path)


def expected(conn, where, params):
    """Figures computed straight from the stored answers."""
    rows = conn.execute(f"""SELECT u.id, (SELECT selected FROM answers a WHERE a.upload_id = u.id AND a.question = 1),
                                          (SELECT selected FROM answers a WHERE a.upload_id = u.id AND a.question = 2)
                           FROM uploads u WHERE {where}""", params).fetchall()
    q1 = [r[1] for r in rows if r[1]]
    q2 = [r[2] for r in rows if r[2]]
    pct = lambda hits, n: f'{100 * hits / n:.1f} %' if n else '–'
    return {'surveys': len(rows), 'solved': pct(sum(1 for s in q1 if s == 1), len(q1)),
            'q2': pct(sum(1 for s in q2 if s <= 2), len(q2)), 'ids': sorted(r[0] for r in rows)}


try:
    certs = os.path.join(work, 'certs')
    run('certs', '--dir', certs)
    today = datetime.date.today()
    run('seed', '--db', db, '--count', '600', '--days', '120', '--end', today.isoformat(), '--random-seed', '17')
    run('user', 'add', 'operator', '--db', db, stdin='s3cret-pass-17\n')
    port_file = os.path.join(work, 'port')
    server = subprocess.Popen([args.collector, 'serve', '--db', db, '--cert-dir', certs, '--port', '0', '--port-file', port_file],
                              stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, 'server.log'), 'w'))
    procs.append(server)
    for _ in range(200):
        if os.path.exists(port_file) and open(port_file).read().strip():
            break
        time.sleep(0.05)
    port = int(open(port_file).read())
    base = f'https://127.0.0.1:{port}'
    hostile_session = '=HYPERLINK("http://evil.example","x")'
    hostile_model = '<img src=x onerror="document.title=\'pwned\'">'
    post_upload(base + '/survey', os.path.join(certs, 'ca.pem'), hostile_session, hostile_model, 'DE')

    b = Browser()
    b.cdp('Emulation.setDeviceMetricsOverride', width=1280, height=900, deviceScaleFactor=1, mobile=False)
    b.cdp('Page.navigate', url=base + '/dashboard')
    b.wait_for("location.pathname == '/dashboard/login' && document.readyState == 'complete'")
    check(b.js("fetch('/dashboard/api/summary').then(r => r.status)") == 401, 'data refused before signing in')

    # Sign in with the keyboard alone: Tab to each field, type, Enter.
    b.tab_to('#user')
    b.cdp('Input.insertText', text='operator')
    b.tab_to('#password')
    b.cdp('Input.insertText', text='s3cret-pass-17')
    b.key('Enter', vk=13, text='\r')
    b.wait_for("location.pathname == '/dashboard/' && document.querySelector('#status').textContent.startsWith('Showing')")
    check(b.js("typeof Chart") == 'function' and b.js("Chart.version").startswith('3.'), 'Chart.js served by the collector')
    cookie = b.cdp('Network.getCookies', urls=[base + '/dashboard/'])['cookies']
    sess = next(c for c in cookie if c['name'] == 'tavdash')
    check(sess['httpOnly'] and sess['secure'] and sess['sameSite'] == 'Strict', 'session cookie is HttpOnly, Secure, SameSite=Strict')
    check(b.js("document.cookie.includes('tavdash')") is False, 'scripts cannot read the session cookie')

    conn = sqlite3.connect(db)
    start30 = (today - datetime.timedelta(days=29)).isoformat()
    exp = expected(conn, "received_at >= ? AND received_at < ?", (start30, (today + datetime.timedelta(days=1)).isoformat()))
    figures = lambda: b.js("['k-surveys','k-solved','k-q2'].map(id => document.getElementById(id).textContent)")
    check(figures() == [str(exp['surveys']), exp['solved'], exp['q2']], f'last 30 days as stored: {figures()}')
    b.shot('dashboard.png')

    # Germany, last month: keyboard to the country list and the preset button.
    first = today.replace(day=1) - datetime.timedelta(days=1)
    first, last = first.replace(day=1), first
    b.tab_to('#country')
    b.js("(s => { s.value = 'DE'; })(document.querySelector('#country'))")
    b.tab_to("[data-preset='last-month']")
    b.key('Enter', vk=13, text='\r')
    b.wait_for(f"document.querySelector('#status').textContent.includes('from {first} to {last}')")
    exp_de = expected(conn, "country = 'DE' AND received_at >= ? AND received_at < ?",
                      (first.isoformat(), (last + datetime.timedelta(days=1)).isoformat()))
    got = figures()
    check(got == [str(exp_de['surveys']), exp_de['solved'], exp_de['q2']] and exp_de['surveys'] != exp['surveys'],
          f'Germany last month: {exp_de["surveys"]} surveys, problem solved {got[1]}, satisfied overall {got[2]}')

    # The export of the same filter holds exactly those surveys, and answers the same question.
    href = b.js("document.querySelector('#export-csv').getAttribute('href')")
    text = b.js(f"fetch({json.dumps(href)}).then(r => r.text())")
    rows = list(csv.DictReader(io.StringIO(text.lstrip('\ufeff'))))
    check(sorted(int(r['id']) for r in rows) == exp_de['ids'], f'CSV holds the {len(rows)} surveys of the filter')
    def differs(r):
        stored = conn.execute("SELECT session_id, duid, received_at FROM uploads WHERE id = ?", (r['id'],)).fetchone()
        answers = dict(conn.execute("SELECT question, selected FROM answers WHERE upload_id = ?", (r['id'],)).fetchall())
        solved = {1: 'Yes', 2: 'No'}.get(answers.get(1), '')
        score = str(10 - answers[3]) if 3 in answers else ''
        return (r['session_id'], r['duid'], r['received_utc'], r['q1_problem_solved'], r['q3_recommend_0_9']) != \
            (*stored, solved, score)
    check([r['id'] for r in rows if differs(r)] == [], 'every CSV row equals its stored survey')
    yes = sum(1 for r in rows if r['q1_problem_solved'] == 'Yes')
    answered = sum(1 for r in rows if r['q1_problem_solved'])
    check(f'{100 * yes / answered:.1f} %' == got[1], 'the CSV gives the page\'s problem-solved share')
    top = sum(1 for r in rows if r['q2_overall_satisfaction'] in ('Very satisfied', 'Satisfied'))
    rated = sum(1 for r in rows if r['q2_overall_satisfaction'])
    check(f'{100 * top / rated:.1f} %' == got[2], 'the CSV gives the page\'s overall-satisfaction share')
    b.shot('dashboard-germany-last-month.png')

    # The hostile upload: shown as text, neutralised in the CSV.
    b.js("document.querySelector('#from').value = '2020-01-01'; document.querySelector('#to').value = new Date().toISOString().slice(0,10);"
         "document.querySelector('#country').value = ''; document.querySelector('#apply').click()")
    b.wait_for("document.querySelector('#status').textContent.includes('from 2020-01-01')")
    b.wait_for(f"[...document.querySelectorAll('#t-latest td')].some(td => td.textContent.includes({json.dumps(hostile_model)}))")
    check(b.js("document.querySelectorAll('img').length == 0 && document.title != 'pwned'"), 'a television\'s markup stays text')
    text = b.js("fetch(document.querySelector('#export-csv').getAttribute('href')).then(r => r.text())")
    check('"\'=HYPERLINK(""http://evil.example"",""x"")"' in text, 'the CSV neutralises a formula')

    # Sorting by keyboard.
    b.tab_to('#t-country th[data-key="key"] button')
    b.key('Enter', vk=13, text='\r')
    check(b.js("document.querySelector('#t-country th[data-key=\"key\"]').getAttribute('aria-sort')") == 'descending', 'sortable by keyboard')

    # 200 % zoom: half the CSS width; nothing may need sideways scrolling but the tables' own boxes.
    b.cdp('Emulation.setDeviceMetricsOverride', width=640, height=900, deviceScaleFactor=2, mobile=False)
    # The charts re-lay themselves out a frame or more after the resize: wait for the layout to
    # settle without sideways scrolling, or fail when it never does.
    b.wait_for("window.innerWidth == 640 && document.documentElement.scrollWidth <= document.documentElement.clientWidth + 1",
               timeout=10)
    print('ok: readable at 200 % zoom')
    b.shot('dashboard-zoom200.png')
    b.cdp('Emulation.setDeviceMetricsOverride', width=1280, height=900, deviceScaleFactor=1, mobile=False)

    # Sign out, and be refused.
    b.tab_to('#logout')
    b.key('Enter', vk=13, text='\r')
    b.wait_for("location.pathname == '/dashboard/login'")
    check(b.js("fetch('/dashboard/api/summary').then(r => r.status)") == 401, 'data refused after signing out')
    check(b.js("fetch('/dashboard/export.csv').then(r => r.status)") == 401, 'export refused after signing out')
    b.cdp('Page.navigate', url=base + '/dashboard/')
    # Either the sign-in page arrives or the wait times out and fails the run.
    b.wait_for("location.pathname == '/dashboard/login' && document.readyState == 'complete'")
    print('PASS')
finally:
    for p in reversed(procs):
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
    shutil.rmtree(work, ignore_errors=True)
