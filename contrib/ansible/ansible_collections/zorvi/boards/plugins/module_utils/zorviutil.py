# -*- coding: utf-8 -*-
# Runs the installed zorviutil with +json for the modules of this collection.
# The modules speak no uC protocol themselves: every answer is one JSON
# document on zorviutil's standard output, and a failing run prints
# {"error": {"code", "name", "message"}} and exits with that code.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os

# The link options of zorviutil, without their leading '-'.
LINKS = ('usbcom', 'psuart', 'index', 'quenta', 'smbus', 'ipmi')

# Exit code of the verify verbs when the board holds something else.
VERIFY_MISMATCH = 8
# Exit codes: service mode not permitted (or not reached), verb refused in
# service mode.
SERVICE_MODE_NOT_PERMITTED = 12
REFUSED_IN_SERVICE_MODE = 13


def common_argument_spec(**extra):
    """The options every module takes (doc fragment zorvi.boards.common), plus `extra`."""
    spec = dict(
        port=dict(type='str'),
        link=dict(type='str', default='usbcom', choices=list(LINKS)),
        zorviutil_path=dict(type='str', default='zorviutil'),
        timeout=dict(type='int'),
    )
    spec.update(extra)
    return spec


def parse_number(module, name, value):
    """An option given as a number or as text in decimal or 0x hexadecimal."""
    if isinstance(value, bool):
        module.fail_json(msg='%s must be a number, not %r' % (name, value))
    if isinstance(value, int):
        number = value
    else:
        try:
            number = int(str(value).strip(), 0)
        except ValueError:
            module.fail_json(msg='%s must be a number (decimal or 0x hexadecimal), not %r' % (name, value))
    if number < 0:
        module.fail_json(msg='%s must not be negative, not %d' % (name, number))
    return number


class ZorviRun(object):
    """One finished run: exit code, the parsed document (None when stdout was
    no JSON), the raw streams and the command line."""

    def __init__(self, rc, document, stdout, stderr, cmd):
        self.rc = rc
        self.document = document
        self.stdout = stdout
        self.stderr = stderr
        self.cmd = cmd

    @property
    def error(self):
        """The error object of a failing run (made up from the streams when
        the tool printed none)."""
        if isinstance(self.document, dict) and isinstance(self.document.get('error'), dict):
            return self.document['error']
        if self.rc == 0:
            return None
        text = (self.stdout or self.stderr or '').strip()
        return dict(code=self.rc, name=None, message=text or 'zorviutil exited with code %d' % self.rc)

    @property
    def message(self):
        error = self.error
        return (error.get('message') or '').strip() if error else ''


class Zorviutil(object):
    """zorviutil for one module run: its path, link, port and time-out."""

    def __init__(self, module, port=None, link=None, environ=None, hints=None):
        self.module = module
        self.hints = dict(hints or {})  # exit code -> a sentence added to the failure message
        params = module.params
        self.port = port if port is not None else params.get('port')
        self.link = (link or params.get('link') or 'usbcom').lstrip('-')
        self.timeout = params.get('timeout')
        self.environ = dict(environ or {})
        path = params.get('zorviutil_path') or 'zorviutil'
        if os.sep in path:
            self.path = os.path.expanduser(path)
        else:
            self.path = module.get_bin_path(path, required=True)

    def command(self, words, options=(), needs_link=True):
        cmd = [self.path]
        if needs_link:
            if not self.port:
                self.module.fail_json(msg='port is required for this board')
            cmd += ['-' + self.link, str(self.port)]
        if self.timeout is not None:
            cmd += ['-timeout', str(self.timeout)]
        cmd += ['+json'] + list(options) + [str(w) for w in words]
        return cmd

    def run(self, words, options=(), needs_link=True):
        cmd = self.command(words, options, needs_link)
        rc, stdout, stderr = self.module.run_command(cmd, environ_update=self.environ)
        try:
            document = json.loads(stdout) if stdout.strip() else None
        except ValueError:
            document = None
        return ZorviRun(rc, document, stdout, stderr, cmd)

    def fail(self, run, what, **result):
        """Ends the module with the tool's own message and exit code."""
        where = '%s %s' % (self.link, self.port) if self.port else 'zorviutil'
        msg = '%s: %s failed: %s' % (where, what, run.message)
        if run.rc in self.hints:
            msg += ' (%s)' % self.hints[run.rc]
        self.module.fail_json(msg=msg, rc=run.rc, error=run.error,
                              cmd=run.cmd, stderr=run.stderr, **result)

    def differs(self, verify_words):
        """Runs a verify verb: (False, run) when the board holds the image,
        (True, run) when it holds something else (exit code 8); any other
        outcome fails the module."""
        verify = self.run(verify_words)
        if verify.rc not in (0, VERIFY_MISMATCH):
            self.fail(verify, verify_words[0], verify=verify.document)
        return verify.rc == VERIFY_MISMATCH, verify
