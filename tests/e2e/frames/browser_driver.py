#!/usr/bin/env python3
"""Drives headless Chromium over its DevTools pipe for browser_test.sh.

    browser_driver.py CHROMIUM LOG_FILE

Reads one command a line on standard input and answers each with one line, "ok VALUE" or
"failed VALUE" (VALUE is JSON):
    open URL                  load the page and wait for its load event
    wait SECONDS EXPRESSION   evaluate the JavaScript expression until it is truthy
    eval EXPRESSION           its value
    screenshot FILE           a PNG of the page as shown
    errors                    script exceptions and console errors so far (CSP violations among them)
"""

import base64
import json
import os
import select
import subprocess
import sys
import tempfile
import time

WIDTH, HEIGHT = 1280, 900


class Browser:
    def __init__(self, program, log):
        self.profile = tempfile.TemporaryDirectory(prefix='browser-test-')
        to_browser, self.commands = os.pipe()
        self.replies, from_browser = os.pipe()

        def pipes():   # the browser reads commands on 3 and answers on 4
            os.dup2(to_browser, 3)
            os.dup2(from_browser, 4)

        self.process = subprocess.Popen(
            [program, '--headless', '--no-sandbox', '--disable-gpu', '--remote-debugging-pipe',
             '--user-data-dir=' + self.profile.name, f'--window-size={WIDTH},{HEIGHT}', '--hide-scrollbars',
             '--no-first-run', '--disable-extensions', '--disable-background-timer-throttling',
             '--disable-renderer-backgrounding', 'about:blank'],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log, close_fds=False, preexec_fn=pipes)
        os.close(to_browser)
        os.close(from_browser)
        self.buffer = b''
        self.next_id = 0
        self.errors = []
        self.session = None
        targets = self.call('Target.getTargets')['targetInfos']
        page = next(t for t in targets if t['type'] == 'page')
        self.session = self.call('Target.attachToTarget', targetId=page['targetId'], flatten=True)['sessionId']
        for domain in ('Page', 'Runtime', 'Log'):
            self.call(domain + '.enable')
        self.call('Emulation.setDeviceMetricsOverride', width=WIDTH, height=HEIGHT, deviceScaleFactor=1, mobile=False)

    def message(self, deadline):
        while b'\0' not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.replies], [], [], left)[0]:
                raise TimeoutError('no answer from the browser')
            chunk = os.read(self.replies, 65536)
            if not chunk:
                raise EOFError('the browser has gone')
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b'\0', 1)
        message = json.loads(text)
        method = message.get('method')
        if method == 'Runtime.exceptionThrown':
            details = message['params']['exceptionDetails']
            self.errors.append(details.get('exception', {}).get('description') or details.get('text'))
        elif method == 'Log.entryAdded' and message['params']['entry']['level'] == 'error':
            self.errors.append(message['params']['entry']['text'])
        elif method == 'Runtime.consoleAPICalled' and message['params']['type'] == 'error':
            self.errors.append(' '.join(str(a.get('value', a.get('description'))) for a in message['params']['args']))
        return message

    def call(self, method, timeout=30, **params):
        self.next_id += 1
        request = {'id': self.next_id, 'method': method, 'params': params}
        if self.session:
            request['sessionId'] = self.session
        os.write(self.commands, json.dumps(request).encode() + b'\0')
        deadline = time.monotonic() + timeout
        while True:
            message = self.message(deadline)
            if message.get('id') == self.next_id:
                if 'error' in message:
                    raise RuntimeError(f"{method}: {message['error'].get('message')}")
                return message.get('result', {})

    def evaluate(self, expression):
        result = self.call('Runtime.evaluate', expression=expression, returnByValue=True)
        if 'exceptionDetails' in result:
            raise RuntimeError(result['exceptionDetails'].get('text', 'exception'))
        return result['result'].get('value')

    def open(self, url):
        self.call('Page.navigate', url=url)
        deadline = time.monotonic() + 30
        while self.evaluate('document.readyState') != 'complete':
            if time.monotonic() > deadline:
                raise TimeoutError('the page did not load')
            time.sleep(0.1)

    def wait(self, seconds, expression):
        deadline = time.monotonic() + seconds
        while True:
            value = self.evaluate(expression)
            if value or time.monotonic() > deadline:
                return bool(value), value
            time.sleep(0.2)

    def screenshot(self, path):
        data = self.call('Page.captureScreenshot', format='png')['data']
        with open(path, 'wb') as out:
            out.write(base64.b64decode(data))

    def close(self):
        try:
            self.call('Browser.close', timeout=5)
        except (TimeoutError, EOFError, RuntimeError):
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.profile.cleanup()


def main():
    program, log_path = sys.argv[1:3]
    with open(log_path, 'ab') as log:
        browser = Browser(program, log)
        try:
            for line in sys.stdin:
                command, _, argument = line.strip().partition(' ')
                ok, value = True, None
                try:
                    if command == 'open':
                        browser.open(argument)
                    elif command == 'wait':
                        seconds, _, expression = argument.partition(' ')
                        ok, value = browser.wait(float(seconds), expression)
                    elif command == 'eval':
                        value = browser.evaluate(argument)
                    elif command == 'screenshot':
                        browser.screenshot(argument)
                    elif command == 'errors':
                        value = browser.errors
                    else:
                        ok, value = False, 'unknown command ' + command
                except (RuntimeError, TimeoutError) as error:
                    ok, value = False, str(error)
                print('ok' if ok else 'failed', json.dumps(value, ensure_ascii=False), flush=True)
        finally:
            browser.close()


if __name__ == '__main__':
    main()
