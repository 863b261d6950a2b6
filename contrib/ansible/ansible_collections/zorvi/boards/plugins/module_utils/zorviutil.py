# -*- coding: utf-8 -*-
# Runs the installed zorviutil with +json for the modules of this collection.
# The modules speak no uC protocol themselves: every answer is one JSON
# document on zorviutil's standard output, and a failing run prints
# {"error": {"code", "name", "message"}} (with what a writing verb had sent
# to the flash by then) and exits with that code.
#
# A stop of the module (SIGTERM, SIGINT, SIGHUP, or its time limit) is
# passed on to the zorviutil under way as SIGTERM, on which the tool stops
# between two exchanges and hands the board back, as on Ctrl-C; the module
# then fails the task saying so. zorviutil runs in a session of its own, so
# that a SIGKILL of the module's process group (async_wrapper's end of a job
# past its time) does not reach it, and on Linux it gets SIGTERM when the
# module's process ends, however it ends.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import ctypes
import json
import os
import re
import signal
import subprocess

from ansible.module_utils.six import integer_types, string_types

# The link options of zorviutil, without their leading '-', that open a
# board on a POSIX host (-smbus and -ipmi are refused by zorviutil).
LINKS = ('usbcom', 'psuart', 'index', 'quenta')

# Exit code of the verify verbs when the board holds something else.
VERIFY_MISMATCH = 8
# Exit codes: service mode not permitted (or not reached), verb refused in
# service mode.
SERVICE_MODE_NOT_PERMITTED = 12
REFUSED_IN_SERVICE_MODE = 13

# ZORVIUTIL_FLAGS for allow_service_mode: 7 grants entering, leaving and the
# automatic switch of the image verbs; 112 withdraws all three, also on the
# links that have them of their own (PCIe, PS UART).
SERVICE_MODE_FLAGS = {True: '7', False: '112'}

# Fields of a failed writing verb's error document: what may have reached
# the flash (zorviutil counts a request as it goes out).
WRITE_COUNTS = (('bytes_sent', 'byte(s) programmed'), ('blocks_erased', 'block(s) erased'),
                ('pages_written', 'page(s) written'))

# A word as zorviutil reads a number: decimal, or hexadecimal after 0x or
# 0X, the whole word, no sign and no blanks ([0-9] is ASCII only here).
NUMBER_WORD = re.compile(r'(?:0[xX][0-9a-fA-F]+|[0-9]+)\Z')

# Seconds of an async job's time that the module keeps for stopping the
# tool and reporting: async_wrapper SIGKILLs the job some seconds after its
# time, and the controller stops polling at that time.
ASYNC_RESERVE = 10

SIGNAL_NAMES = {signal.SIGTERM: 'SIGTERM', signal.SIGINT: 'SIGINT', signal.SIGHUP: 'SIGHUP'}


def common_argument_spec(**extra):
    """The options every module takes (doc fragment zorvi.boards.common), plus `extra`."""
    spec = dict(
        port=dict(type='str'),
        link=dict(type='str', default='usbcom', choices=list(LINKS)),
        zorviutil_path=dict(type='str', default='zorviutil'),
        timeout=dict(type='int'),
        time_limit=dict(type='float'),
    )
    spec.update(extra)
    return spec


def parse_number(module, name, value, maximum=0xFFFFFFFF):
    """An option given as a number, or as a word zorviutil reads as one
    (NUMBER_WORD), at most `maximum`."""
    if isinstance(value, bool) or not isinstance(value, integer_types + string_types):
        module.fail_json(msg='%s must be a number, not %r' % (name, value))
    if isinstance(value, integer_types):
        number = value
    elif NUMBER_WORD.match(value):
        number = int(value[2:], 16) if value[:2] in ('0x', '0X') else int(value, 10)
    else:
        module.fail_json(msg='%s must be decimal digits or 0x and hexadecimal digits, the whole word, as '
                             'zorviutil reads a number; not %r' % (name, value))
    if not 0 <= number <= maximum:
        module.fail_json(msg='%s must be 0 to 0x%X, not %d' % (name, maximum, number))
    return number


def image_size(module, path):
    """The size of an image file; fails the module when it is missing or empty
    (zorviutil takes an empty image as nothing to do, which is never what a
    task that names an image means)."""
    try:
        size = os.path.getsize(path)
    except OSError as e:
        module.fail_json(msg='image %s: %s' % (path, e.strerror or e))
    if not os.path.isfile(path):
        module.fail_json(msg='image %s is not a file' % path)
    if size == 0:
        module.fail_json(msg='image %s is empty' % path)
    return size


def written_counts(document):
    """The counts of what a writing verb sent to the flash, from its +json
    summary or error document (empty when it gave none)."""
    if not isinstance(document, dict):
        return {}
    return dict((key, document[key]) for key, dummy in WRITE_COUNTS if isinstance(document.get(key), integer_types))


def describe_written(counts):
    """'5504 byte(s) programmed, 0 block(s) erased', or 'nothing written'."""
    parts = ['%d %s' % (counts[key], text) for key, text in WRITE_COUNTS if key in counts]
    return ', '.join(parts) if any(counts.values()) else 'nothing written'


def async_time_limit():
    """The time limit of the async job the module runs in, or None. The
    module's parent is then async_wrapper, started as <interpreter>
    async_wrapper.py <job id> <time limit> <module> <arguments file>."""
    try:
        with open('/proc/%d/cmdline' % os.getppid(), 'rb') as f:
            argv = f.read().split(b'\0')
    except (IOError, OSError):
        return None
    for i, word in enumerate(argv[:2]):
        if os.path.basename(word) == b'async_wrapper.py' and len(argv) > i + 2:
            try:
                return int(argv[i + 2])
            except ValueError:
                return None
    return None


class _StopRequests(object):
    """The module's stop requests: the first one's reason, and the zorviutil
    run it is passed on to."""

    def __init__(self):
        self.reason = None
        self.child = None
        self.installed = False
        self.time_limit = None

    def install(self, time_limit):
        if self.installed:
            return
        self.installed = True
        for signum in SIGNAL_NAMES:
            signal.signal(signum, self._on_signal)
        if time_limit:
            self.time_limit = time_limit
            signal.signal(signal.SIGALRM, self._on_alarm)
            signal.setitimer(signal.ITIMER_REAL, time_limit)

    def _on_signal(self, signum, frame):
        self.request('stopped by %s' % SIGNAL_NAMES.get(signum, signum))

    def _on_alarm(self, signum, frame):
        self.request('stopped at the time limit of %g s' % self.time_limit)

    def request(self, reason):
        if self.reason is None:
            self.reason = reason
        self.forward()

    def forward(self):
        child = self.child
        if self.reason is not None and child is not None and child.returncode is None:
            try:
                os.kill(child.pid, signal.SIGTERM)
            except OSError:
                pass


STOP = _StopRequests()


def _parent_death_signal():
    """prctl(PR_SET_PDEATHSIG) where the C library has it (Linux), else None."""
    try:
        prctl = ctypes.CDLL(None, use_errno=True).prctl
    except (OSError, AttributeError):
        return None
    return prctl


def _child_setup(parent, prctl):
    """Runs in the child before zorviutil starts: a session of its own, and
    SIGTERM when the module's process ends."""
    sigterm = int(signal.SIGTERM)

    def setup():
        os.setsid()
        if prctl is not None:
            prctl(1, sigterm, 0, 0, 0)  # PR_SET_PDEATHSIG
            if os.getppid() != parent:  # the module ended already
                os.kill(os.getpid(), sigterm)
    return setup


class ZorviRun(object):
    """One finished run: exit code, the parsed document (None when stdout was
    no JSON), the raw streams, the command line and, when the module was
    stopped during (or before) the run, why."""

    def __init__(self, rc, document, stdout, stderr, cmd, stopped=None):
        self.rc = rc
        self.document = document
        self.stdout = stdout
        self.stderr = stderr
        self.cmd = cmd
        self.stopped = stopped

    @property
    def error(self):
        """The error object of a failing run (made up from the streams when
        the tool printed none)."""
        if isinstance(self.document, dict) and isinstance(self.document.get('error'), dict):
            error = dict(self.document['error'])
            # Why a link failed (port_busy, port_not_found, ...) stands beside
            # the error object in the tool's document.
            if isinstance(self.document.get('reason'), str):
                error['reason'] = self.document['reason']
            return error
        if self.rc == 0:
            return None
        text = (self.stdout or self.stderr or '').strip()
        if self.rc is None:
            text = 'not started: the module was %s' % self.stopped
        return dict(code=self.rc, name=None, message=text or 'zorviutil exited with code %s' % self.rc)

    @property
    def message(self):
        error = self.error
        return (error.get('message') or '').strip() if error else ''

    @property
    def written(self):
        return written_counts(self.document)


class Zorviutil(object):
    """zorviutil for one module run: its path, link, port, time-outs and the
    service-mode permission (None: the link's own, True or False:
    allow_service_mode)."""

    def __init__(self, module, port=None, link=None, service_mode=None, hints=None):
        self.module = module
        self.hints = dict(hints or {})  # exit code -> a sentence added to the failure message
        params = module.params
        self.port = port if port is not None else params.get('port')
        self.link = (link or params.get('link') or 'usbcom').lstrip('-')
        self.timeout = params.get('timeout')
        # The environment never decides the permission: an inherited
        # ZORVIUTIL_FLAGS is dropped, allow_service_mode sets its own.
        self.environ = dict(os.environ)
        self.environ.pop('ZORVIUTIL_FLAGS', None)
        if service_mode is not None:
            self.environ['ZORVIUTIL_FLAGS'] = SERVICE_MODE_FLAGS[bool(service_mode)]
        path = params.get('zorviutil_path') or 'zorviutil'
        if os.sep in path:
            self.path = os.path.expanduser(path)
        else:
            self.path = module.get_bin_path(path, required=True)
        time_limit = params.get('time_limit')
        if time_limit is None:
            limit = async_time_limit()
            if limit:
                time_limit = limit - min(ASYNC_RESERVE, limit / 2.0)
        elif time_limit <= 0:
            module.fail_json(msg='time_limit must be above 0, not %g' % time_limit)
        STOP.install(time_limit)
        self._prctl = _parent_death_signal()

    @property
    def stopped(self):
        """Why the module was stopped, or None."""
        return STOP.reason

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

    def run(self, words, options=(), needs_link=True, hand_back=False):
        """Runs zorviutil and waits for it. After a stop request nothing new
        starts, except a `hand_back` run (leaving the service mode the module
        entered), which a further stop request does not end either."""
        cmd = self.command(words, options, needs_link)
        if STOP.reason is not None and not hand_back:
            return ZorviRun(None, None, '', '', cmd, stopped=STOP.reason)
        try:
            with open(os.devnull, 'rb') as devnull:
                # run_command cannot start the tool in a session of its own.
                proc = subprocess.Popen(cmd, stdin=devnull, stdout=subprocess.PIPE, stderr=subprocess.PIPE,  # pylint: disable=consider-using-with
                                        env=self.environ, close_fds=True,
                                        preexec_fn=_child_setup(os.getpid(), self._prctl))  # pylint: disable=subprocess-popen-preexec-fn
        except OSError as e:
            self.module.fail_json(msg='%s: %s' % (self.path, e.strerror or e), cmd=cmd)
        if not hand_back:
            STOP.child = proc
            STOP.forward()  # a request that came while it started
        try:
            stdout, stderr = proc.communicate()
        finally:
            STOP.child = None
        stdout = stdout.decode('utf-8', 'replace')
        stderr = stderr.decode('utf-8', 'replace')
        try:
            document = json.loads(stdout) if stdout.strip() else None
        except ValueError:
            document = None
        rc = proc.returncode
        # Stopped, zorviutil ends by its stop signal after printing its
        # document: the code it tells is the task's rc.
        if rc < 0 and isinstance(document, dict) and isinstance(document.get('error'), dict):
            rc = document['error'].get('code', rc)
        return ZorviRun(rc, document, stdout, stderr, cmd, stopped=None if hand_back else STOP.reason)

    def fail(self, run, what, written=None, note=None, **result):
        """Ends the module with the tool's own message and exit code; when the
        module was stopped, with why and what had been written (`written`,
        counts as written_counts gives them; the run's own by default).
        `note` ends the message."""
        where = '%s %s' % (self.link, self.port) if self.port else 'zorviutil'
        counts = run.written if written is None else written
        if run.stopped:
            msg = '%s: %s %s: %s' % (where, what, run.stopped, describe_written(counts))
            result.setdefault('stopped', run.stopped)
        else:
            msg = '%s: %s failed: %s' % (where, what, run.message)
            if run.rc in self.hints:
                msg += ' (%s)' % self.hints[run.rc]
            if counts:
                msg += ' (%s)' % describe_written(counts)
        if note:
            msg += '; ' + note
        self.module.fail_json(msg=msg, rc=run.rc, error=run.error, cmd=run.cmd, stderr=run.stderr, **result)

    def warn_stderr(self, run):
        """zorviutil's warnings on standard error as the task's warnings."""
        for line in (run.stderr or '').splitlines():
            if line.strip():
                self.module.warn(line.strip())

    def differs(self, verify_words, **result):
        """Runs a verify verb: (False, run) when the board holds the image,
        (True, run) when it holds something else (exit code 8); any other
        outcome fails the module with `result`."""
        verify = self.run(verify_words)
        if verify.rc not in (0, VERIFY_MISMATCH) or verify.stopped:
            result['verify'] = verify.document
            self.fail(verify, verify_words[0], **result)
        return verify.rc == VERIFY_MISMATCH, verify
