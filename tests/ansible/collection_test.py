#!/usr/bin/python3
"""The Ansible collection in contrib/ansible with the real engine, the real
zorviutil and two simulated boards.

  collection_test.py doc  BIN_DIR COLLECTIONS   ansible-doc of each module
  collection_test.py play BIN_DIR COLLECTIONS   boards.yml against localhost
  collection_test.py cases BIN_DIR COLLECTIONS  the failure paths, one simulated
                                                board per case (CASES)
  collection_test.py sanity BIN_DIR COLLECTIONS ansible-test sanity, the tests
                                                that need no download
  collection_test.py parallel BIN_DIR COLLECTIONS the playbook that updates every
                                                board of a host at once, against
                                                eight simulated boards

Exit code 77 (one line on stdout) when ansible-core is not installed."""

import collections
import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
MODULES = ('zorvi_facts', 'zorvi_firmware', 'zorvi_spi_image')
# The ansible-test sanity tests that install pinned packages from the Python
# package index into a virtual environment of their own. Offline, each gets
# a virtual environment that sees Debian's packages instead (see
# offline_venvs); a test whose packages Debian lacks cannot run.
VENV_TESTS = ('ansible-doc', 'changelog', 'import', 'import.plugin', 'pep8', 'pylint', 'runtime-metadata',
              'validate-modules', 'yamllint')
# What the collection's sanity run must include.
REQUIRED_TESTS = ('validate-modules', 'pep8', 'pylint', 'ansible-doc', 'import', 'yamllint')
MISSING_PORT = '/nonexistent/zorvi-board'
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('FAILED: ' + what)


def ansible_program(name):
    path = shutil.which(name, path='/usr/bin:' + os.environ.get('PATH', ''))
    if path is None:
        print('skip: %s not found (scripts/install-deps.sh installs ansible-core)' % name)
        sys.exit(SKIP)
    return path


def ansible_env(collections, tmp):
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=collections, ANSIBLE_LOCAL_TEMP=tmp + '/ansible-local',
               ANSIBLE_REMOTE_TMP=tmp + '/ansible-remote', ANSIBLE_NOCOLOR='1', ANSIBLE_RETRY_FILES_ENABLED='0',
               ANSIBLE_CALLBACK_PLUGINS=HERE + '/callback_plugins', ANSIBLE_CALLBACKS_ENABLED='results_file',
               ZORVI_ANSIBLE_RESULTS=tmp + '/results.json', ANSIBLE_FORKS='5')
    env.pop('ZORVIUTIL_FLAGS', None)
    return env


def doc_test(collections):
    program = ansible_program('ansible-doc')
    with tempfile.TemporaryDirectory() as tmp:
        for module in MODULES:
            r = subprocess.run([program, 'zorvi.boards.' + module], env=ansible_env(collections, tmp),
                               capture_output=True, text=True)
            check(r.returncode == 0 and 'OPTIONS' in r.stdout, 'ansible-doc %s: %s' % (module, r.stderr.strip()))


# Run with the ansible-test of /usr/bin/python3 in the collection: for each
# test, the path ansible-test keeps its virtual environment at (from its own
# requirement lists), and the distributions it would install.
VENV_PATHS = r"""
import json, os, sys
from ansible_test._internal.python_requirements import collect_requirements, PipInstall
from ansible_test._internal.commands.sanity import hash_pip_commands
from ansible_test._internal.host_configs import NativePythonConfig
version = '%d.%d' % sys.version_info[:2]
python = NativePythonConfig(version=version, path=sys.executable)
found = {}
for name in sys.argv[1:]:
    commands = collect_requirements(python=python, controller=True, virtualenv=False, command=None, ansible=False,
                                    cryptography=False, coverage=False, minimize=name.startswith('import.'),
                                    sanity=name)
    installs = [c for c in commands if isinstance(c, PipInstall)]
    if not installs:
        continue  # no packages: ansible-test makes its environment itself
    lines = [line for c in installs for path, text in c.requirements for line in text.splitlines()]
    found[name] = dict(path=os.path.join(os.path.expanduser('~/.ansible/test/venv'), 'sanity.' + name, version,
                                         hash_pip_commands(commands)),
                       packages=[line.split('==')[0].strip() for line in lines if line.strip() and line[0] != '#'])
print(json.dumps(found))
"""


def offline_venvs(cwd, env):
    """Makes, where ansible-test looks for them, the virtual environments of
    the tests that would install pinned packages: environments on
    /usr/bin/python3 that see its site packages (Debian's), marked as
    complete, so ansible-test uses them as they are and downloads nothing.
    The tests run with Debian's versions of the packages. Returns the tests
    that cannot run so, with the packages Debian does not have."""
    r = subprocess.run(['/usr/bin/python3', '-c', VENV_PATHS] + list(VENV_TESTS), cwd=cwd, env=env,
                       capture_output=True, text=True)
    if r.returncode != 0:
        return dict((test, ['(ansible-test internals: %s)' % r.stderr.strip().splitlines()[-1:]]) for test in VENV_TESTS)
    unavailable = {}
    for test, venv in json.loads(r.stdout).items():
        missing = [p for p in venv['packages'] if subprocess.run(
            ['/usr/bin/python3', '-c', 'import importlib.metadata, sys; importlib.metadata.version(sys.argv[1])', p],
            capture_output=True).returncode != 0]
        if missing:
            unavailable[test] = missing
            continue
        subprocess.run(['/usr/bin/python3', '-m', 'venv', '--without-pip', '--system-site-packages', venv['path']],
                       check=True)
        for name, text in (('meta.install.json', '[]'), ('meta.yaml.json', 'true'), ('marker.txt', '')):
            with open(os.path.join(venv['path'], name), 'w') as f:
                f.write(text)
    return unavailable


def sanity_test(collections):
    program = ansible_program('ansible-test')
    cwd = collections + '/ansible_collections/zorvi/boards'
    with tempfile.TemporaryDirectory() as tmp:
        # Its own home (the environments live there), and no way to reach
        # a package index: a test that would download fails instead.
        env = dict(ansible_env(collections, tmp), HOME=tmp, PIP_NO_INDEX='1', http_proxy='http://127.0.0.1:9',
                   https_proxy='http://127.0.0.1:9')

        def sanity(*options):
            return subprocess.run([program, 'sanity', '--python', '%d.%d' % sys.version_info[:2]] + list(options),
                                  cwd=cwd, env=env, capture_output=True, text=True)
        unavailable = offline_venvs(cwd, env)
        for test, packages in sorted(unavailable.items()):
            print('not run: sanity test %s needs %s from the Python package index' % (test, ', '.join(packages)))
        tests = [t for t in sanity('--list-tests').stdout.split() if t not in unavailable]
        for test in REQUIRED_TESTS:
            check(test in tests, 'sanity test %s cannot run offline (scripts/install-deps.sh installs what it needs)'
                  % test)
        r = sanity(*[o for test in tests for o in ('--test', test)])
    print(r.stdout + r.stderr)
    check(len(tests) > 10 and r.returncode == 0, 'ansible-test sanity exit code %d' % r.returncode)


class Sim:
    """A zorvisim in the background with its state folder."""

    def __init__(self, bin_dir, state_dir, serial, options, log=None):
        self.state_dir = state_dir
        self.serial = serial
        self.log = log
        self.proc = subprocess.Popen([bin_dir + '/zorvisim', '--state-dir', state_dir, '--serial', str(serial),
                                      '--no-pcie', '--sensor-seconds', '60'] + options +
                                     (['--log', log] if log else []),
                                     stdout=subprocess.PIPE, text=True)
        self.port = self.proc.stdout.readline().strip()

    def requests(self):
        """Every request the board received, as lists of byte values."""
        if not self.log or not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [[int(b, 16) for b in line.split()] for line in f if line.strip()]

    def checksums(self):
        sums = {}
        for name in sorted(os.listdir(self.state_dir)):
            with open(os.path.join(self.state_dir, name), 'rb') as f:
                sums[name] = hashlib.sha256(f.read()).hexdigest()
        return sums

    def read(self, prefix, offset, length):
        name = next(n for n in os.listdir(self.state_dir) if n.startswith(prefix))
        with open(os.path.join(self.state_dir, name), 'rb') as f:
            f.seek(offset)
            return f.read(length)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=30)


def pattern(length, seed):
    return bytes((seed + i * 29 + (i >> 9) * 5) & 0xFF for i in range(length))


def write_inventory(path, ports):
    with open(path, 'w') as f:
        f.write('[boards]\n' + ''.join('%s zorvi_port=%s\n' % item for item in sorted(ports.items())))
        f.write('[boards:vars]\nansible_connection=local\nansible_python_interpreter=/usr/bin/python3\n')


def run_playbook(program, env, inventory, playbook, *options):
    """ansible-playbook; the task results by task name and host, and the stats."""
    r = subprocess.run([program, '-i', inventory, playbook] + list(options), env=env, capture_output=True, text=True)
    print(r.stdout + r.stderr)
    with open(env['ZORVI_ANSIBLE_RESULTS']) as f:
        doc = json.load(f)
    os.remove(env['ZORVI_ANSIBLE_RESULTS'])
    return doc['tasks'], doc['stats']


def play_test(bin_dir, collections):
    program = ansible_program('ansible-playbook')
    with tempfile.TemporaryDirectory() as tmp:
        sims = {}
        try:
            for name, serial, options in (('board1', 100001, []), ('board2', 100002, []),
                                          ('inservice', 100003, ['--service'])):
                sims[name] = Sim(bin_dir, tmp + '/' + name, serial, options)
            play_runs(program, bin_dir + '/zorviutil', collections, tmp, sims)
        finally:
            for sim in sims.values():
                sim.stop()


def play_runs(program, zorviutil, collections, tmp, sims):
    for name, sim in sims.items():
        check(sim.port.startswith('/dev/'), '%s: zorvisim printed no pty path' % name)
    images = {}
    for name, length, seed in (('fw1', 4096, 0x31), ('fw2', 4096, 0x47), ('spi1', 70000, 0x05), ('spi2', 70000, 0x06)):
        images[name] = tmp + '/' + name + '.bin'
        with open(images[name], 'wb') as f:
            f.write(pattern(length, seed))
    ports = dict((name, sim.port) for name, sim in sims.items())
    ports['missing'] = MISSING_PORT
    write_inventory(tmp + '/hosts', ports)
    env = ansible_env(collections, tmp)

    def play(fw, spi, *options):
        return run_playbook(program, env, tmp + '/hosts', HERE + '/boards.yml', '-e', 'zorviutil=' + zorviutil,
                            '-e', 'firmware_image=' + images[fw], '-e', 'spi_image=' + images[spi], *options)

    def tool_error(host, *words):
        r = subprocess.run([zorviutil, '-usbcom', ports[host], '+json'] + list(words), env=env, capture_output=True,
                           text=True)
        return json.loads(r.stdout)['error']

    # The failing boards: the task that fails and what zorviutil itself says.
    failing = {
        'missing': ('uC firmware', tool_error('missing', 'verify-firmware', images['fw1'])),
        'inservice': ('FPGA image', tool_error('inservice', 'spi-program-bin', '0', images['spi1'], '0x10000')),
    }
    good = ('board1', 'board2')

    # First run: the good boards change, each failing one fails its task with
    # the tool's message.
    tasks, stats = play('fw1', 'spi1')
    for name in good:
        sim = sims[name]
        check(tasks['uC firmware'][name].get('changed') is True, 'first run: %s firmware not changed' % name)
        check(tasks['FPGA image'][name].get('changed') is True, 'first run: %s SPI image not changed' % name)
        check(stats[name]['failures'] == 0, 'first run: %s failed' % name)
        facts = tasks['Board facts'][name]
        board = (facts.get('boards') or [{}])[0]
        check(board.get('port') == sim.port and board.get('error') is None, 'first run: %s facts: %s' % (name, facts))
        check(board.get('serial') == sim.serial, '%s facts: serial %s' % (name, board.get('serial')))
        check(isinstance((board.get('sensors') or {}).get('sensors'), list), '%s facts: no sensor list' % name)
        check(sim.read('appflash', 0, 4096) == pattern(4096, 0x31), '%s: firmware not in the flash' % name)
        stored = bytes(b ^ 0xFF for b in sim.read('spi0-', 0x10000, 70000))  # stored complemented
        check(stored == pattern(70000, 0x05), '%s: SPI image not in the flash' % name)
    for name, (task, error) in failing.items():
        result = tasks[task][name]
        check(result.get('failed') is True and result.get('rc') == error['code'] and
              error['message'].strip() in result.get('msg', ''), '%s: %s' % (name, result))
        check(stats[name]['failures'] == 1, '%s: stats %s' % (name, stats[name]))
    # A port that is not there is told apart from a busy one.
    check(tasks['uC firmware']['missing'].get('error', {}).get('reason') == 'port_not_found',
          'missing: %s' % tasks['uC firmware']['missing'].get('error'))
    found = list(tasks['Boards zorviutil finds'].values())
    check(len(found) == 1 and isinstance(found[0].get('ansible_facts', {}).get('zorvi_boards'), list),
          'list-boards: %s' % found)

    # Second run: nothing to do.
    tasks, stats = play('fw1', 'spi1')
    for name in good + ('inservice',):
        check(stats[name]['changed'] == 0, 'second run: %s %s' % (name, stats[name]))

    # Check mode with other images: the good boards would change, their
    # stored images stay.
    before = dict((name, sims[name].checksums()) for name in good)
    tasks, stats = play('fw2', 'spi2', '--check')
    for name in good:
        check(tasks['uC firmware'][name].get('changed') is True, 'check mode: %s firmware would not change' % name)
        check(tasks['FPGA image'][name].get('changed') is True, 'check mode: %s SPI image would not change' % name)
        check(stats[name]['failures'] == 0, 'check mode: %s failed' % name)
        check(sims[name].checksums() == before[name], 'check mode: %s state files changed' % name)


# The failure paths, one simulated board per case; the tasks of all cases
# run in one play (strategy free: the boards in parallel), each on its own
# board. A case's `setup` may prepare the board's state and returns extra
# zorvisim options; `check` reads the results of its tasks by task name.
Case = collections.namedtuple('Case', 'name sim_options log setup tasks check')

# Opcodes of the SPI transfers, the first bus byte of a 05 90 request.
PAGE_PROGRAM = (0x02, 0x12)
ERASE = (0x20, 0x21, 0x52, 0x5C, 0xD8, 0xDC)
ENTER, EXIT = [0x03, 0x80], [0x03, 0x82]
SPI_SESSION_END = [0x05, 0x91, 0x03, 0x00, 0x00, 0x00, 0x00]
FIRMWARE_REGION = 0x1FC00


class CaseContext:
    """What the cases share: programs, images, the scratch folder."""

    def __init__(self, bin_dir, tmp):
        self.bin_dir = bin_dir
        self.zorviutil = bin_dir + '/zorviutil'
        self.tmp = tmp
        self.images = {}
        for name, data in (('fw1', pattern(4096, 0x31)), ('fw2', pattern(4096, 0x47)), ('spi1', pattern(70000, 0x05)),
                           ('spi2', pattern(70000, 0x06)), ('empty', b''), ('zeros', bytes(1000))):
            self.images[name] = tmp + '/' + name + '.bin'
            with open(self.images[name], 'wb') as f:
                f.write(data)

    def tool(self, state_dir, words, log=None):
        """zorviutil `words` against a board on `state_dir`, started for this run."""
        sim = Sim(self.bin_dir, state_dir, 100009, [], log=log)
        try:
            subprocess.run([self.zorviutil, '-usbcom', sim.port] + words, capture_output=True, check=False)
        finally:
            sim.stop()
        return sim

    def spi_request_number(self, state_dir, words, opcodes, nth):
        """The number zorvisim's --fault ...@spiN gives the nth SPI transfer
        whose opcode is in `opcodes`, in a run of `words` on a copy of the
        board state in `state_dir`."""
        trial = self.tmp + '/trial-%d' % len(os.listdir(self.tmp))
        if os.path.isdir(state_dir):
            shutil.copytree(state_dir, trial + '/state')
        sim = self.tool(trial + '/state', words, log=trial + '/log')
        spi = [r for r in sim.requests() if r[:2] in ([0x05, 0x90], [0x05, 0x91])]
        hits = [i + 1 for i, r in enumerate(spi) if r[:2] == [0x05, 0x90] and len(r) > 5 and r[5] in opcodes]
        return hits[nth - 1]


def spi_task(name, image, address='0x10000', **keywords):
    return dict(name=name, ignore_errors=True, **keywords,
                **{'zorvi.boards.zorvi_spi_image': dict(port='{{ zorvi_port }}', chip=0, image=image, address=address)})


def firmware_task(name, image, **options):
    keywords = dict((k, options.pop(k)) for k in ('environment', 'check_mode', 'diff') if k in options)
    return dict(name=name, ignore_errors=True, **keywords,
                **{'zorvi.boards.zorvi_firmware': dict(port='{{ zorvi_port }}', image=image, **options)})


def facts_task(name, **options):
    return dict(name=name, ignore_errors=True,
                **{'zorvi.boards.zorvi_facts': dict(ports=['{{ zorvi_port }}'], **options)})


def switches(sim):
    requests = sim.requests()
    return requests.count(ENTER), requests.count(EXIT)


def failed_with(result, text):
    return result.get('failed') is True and text in result.get('msg', '')


def hangup_program_setup(ctx, state):
    # A blank chip: +skip-same programs without erase; the line drops at
    # the 40th page program (which the board still carries out).
    words = ['+skip-same', 'spi-program-bin', '0', ctx.images['spi1'], '0x10000']
    return ['--fault', 'hangup@spi%d' % ctx.spi_request_number(state, words, PAGE_PROGRAM, 40)]


def hangup_program_check(ctx, results, sim):
    r = results['program']
    sent = (r.get('program') or {}).get('bytes_sent')
    check(failed_with(r, '0 block(s) erased') and r.get('changed') is True and isinstance(sent, int) and sent > 0,
          'hang-up while programming without erase: %s' % r)


def hangup_erase_setup(ctx, state):
    # The range holds another image: the block must be erased, and the line
    # drops at that erase.
    ctx.tool(state, ['spi-program-bin', '0', ctx.images['spi1'], '0x10000'])
    words = ['+skip-same', 'spi-program-bin', '0', ctx.images['spi2'], '0x10000']
    return ['--fault', 'hangup@spi%d' % ctx.spi_request_number(state, words, ERASE, 1)]


def hangup_erase_check(ctx, results, sim):
    r = results['program']
    check(failed_with(r, '1 block(s) erased') and r.get('changed') is True and
          (r.get('program') or {}).get('blocks_erased') == 1, 'hang-up at the erase: %s' % r)


def service_check(ctx, results, sim):
    board = (results['facts'].get('boards') or [{}])[0]
    check(results['facts'].get('failed') is not True and board.get('mode') == 'service' and
          board.get('error') is None and board.get('sensors') is None and board.get('unavailable') == ['sensors'] and
          (board.get('vpd') or {}).get('board', {}).get('serial') == sim.serial, 'facts in service mode: %s' % board)
    fw = results['firmware']
    check(fw.get('changed') is True and fw.get('failed') is not True and fw.get('before', {}).get('mode') == 'service',
          'firmware update in service mode: %s' % fw)
    check(switches(sim) == (0, 0), 'board in service mode switched: %s' % (switches(sim),))


def flags_check(ctx, results, sim):
    for task in ('allow false', 'allow not given'):
        r = results[task]
        check(failed_with(r, 'allow_service_mode: true lets') and r.get('rc') == 12,
              'ZORVIUTIL_FLAGS=7 in the environment, %s: %s' % (task, r))
    check(switches(sim) == (0, 0), 'switched against allow_service_mode: %s' % (switches(sim),))


BAD_ADDRESSES = ['1_0', '0b101', '0x', ' 16', '16 ', '-1', '+1', '0x1_0', '4294967296', '١٢']


def addresses_check(ctx, results, sim):
    items = results['bad addresses'].get('results') or []
    check(len(items) == len(BAD_ADDRESSES), 'bad addresses: %d results' % len(items))
    for item in items:
        check(failed_with(item, 'address') and item.get('changed') is False, 'address %r: %s' % (item.get('item'), item))
    check(sim.requests() == [], 'a bad address reached the board: %d requests' % len(sim.requests()))


def empty_check(ctx, results, sim):
    for task, text in (('empty SPI image', 'is empty'), ('empty firmware', 'is empty'),
                       ('zero firmware', 'only bytes of value 0x00')):
        check(failed_with(results[task], text) and results[task].get('changed') is False,
              '%s: %s' % (task, results[task]))
    check(sim.requests() == [], 'an empty image reached the board: %d requests' % len(sim.requests()))


def session_check(ctx, results, sim):
    first, again, checked = results['update'], results['again'], results['check mode']
    normal = {'mode': 'normal', 'version': '4.26.0.7'}
    check(first.get('changed') is True and first.get('before') == normal and first.get('after') == normal,
          'update: %s' % first)
    backup = first.get('backup_file') or ''
    check(os.path.isfile(backup) and os.path.getsize(backup) == FIRMWARE_REGION and
          open(backup, 'rb').read(4096) != pattern(4096, 0x31), 'backup of the old firmware: %r' % backup)
    diff = first.get('diff') or {}
    check(diff.get('before') == 'version: 4.26.0.7\n' and diff.get('after') == 'version: 4.26.0.7\n',
          'diff: %s' % diff)
    check(sim.read('appflash', 0, 4096) == pattern(4096, 0x31), 'firmware not in the flash')
    check(again.get('changed') is False and again.get('backup_file') is None, 'second update: %s' % again)
    check(checked.get('changed') is True and checked.get('compared') is False, 'check mode: %s' % checked)
    # Two runs that wrote or compared, one switch in and out each; check
    # mode none.
    check(switches(sim) == (2, 2), 'mode switches (enter, exit): %s' % (switches(sim),))


def async_check(ctx, results, sim):
    r = results['program']
    counts = r.get('program') or {}
    wrote = bool(counts.get('bytes_sent') or counts.get('blocks_erased'))
    check(failed_with(r, 'stopped at the time limit of 7 s') and r.get('changed') is wrote,
          'async time-out: %s' % r)
    # The tool let go of the port: the next task reads the board.
    check(results['after'].get('failed') is not True, 'after the stopped task: %s' % results['after'])


CASES = [
    Case('hangup_program', [], False, hangup_program_setup,
         lambda ctx: [spi_task('program', ctx.images['spi1'], address='0X10000')], hangup_program_check),
    Case('hangup_erase', [], False, hangup_erase_setup,
         lambda ctx: [spi_task('program', ctx.images['spi2'])], hangup_erase_check),
    Case('service', ['--service'], True, None,
         lambda ctx: [facts_task('facts'), firmware_task('firmware', ctx.images['fw1'])], service_check),
    Case('flags', [], True, None,
         lambda ctx: [firmware_task('allow false', ctx.images['fw1'], allow_service_mode=False,
                                    environment={'ZORVIUTIL_FLAGS': '7'}),
                      firmware_task('allow not given', ctx.images['fw1'], environment={'ZORVIUTIL_FLAGS': '7'})],
         flags_check),
    Case('addresses', [], True, None,
         lambda ctx: [dict(spi_task('bad addresses', ctx.images['spi1'], address='{{ item }}'), loop=BAD_ADDRESSES)],
         addresses_check),
    Case('empty', [], True, None,
         lambda ctx: [spi_task('empty SPI image', ctx.images['empty']),
                      firmware_task('empty firmware', ctx.images['empty'], allow_service_mode=True),
                      firmware_task('zero firmware', ctx.images['zeros'], allow_service_mode=True)],
         empty_check),
    Case('session', [], True, None,
         lambda ctx: [firmware_task('update', ctx.images['fw1'], allow_service_mode=True, backup=True, diff=True),
                      firmware_task('again', ctx.images['fw1'], allow_service_mode=True, backup=True),
                      firmware_task('check mode', ctx.images['fw2'], allow_service_mode=True, check_mode=True)],
         session_check),
    # Page programs that keep the chip busy: the run takes longer than the
    # time the module allows itself under async (14 s less 7 s).
    Case('async', ['--spi-program-us', '20000'], False, None,
         lambda ctx: [dict(spi_task('program', ctx.images['spi1']), **{'async': 14, 'poll': 1}),
                      facts_task('after', gather=['version'])],
         async_check),
]


def wait_for(condition, seconds):
    """Polls `condition` until it holds or `seconds` have passed (a generous
    bound, no measurement)."""
    end = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > end:
            return False
        time.sleep(0.1)
    return True


def killed_module_test(ctx, collections):
    """async_wrapper ends a job past its time by SIGKILL to the module's
    process group: zorviutil, in a session of its own, gets SIGTERM when the
    module dies, stops between two exchanges and ends the SPI session."""
    sim = Sim(ctx.bin_dir, ctx.tmp + '/killed/state', 100199, ['--spi-program-us', '20000'],
              log=ctx.tmp + '/killed/requests.log')
    try:
        with open(ctx.tmp + '/killed/args.json', 'w') as f:
            json.dump(dict(ANSIBLE_MODULE_ARGS=dict(port=sim.port, chip=0, image=ctx.images['spi1'], address='0x10000',
                                                    zorviutil_path=ctx.zorviutil)), f)
        module = subprocess.Popen(['/usr/bin/python3', '-m', 'ansible_collections.zorvi.boards.plugins.modules.'
                                   'zorvi_spi_image', ctx.tmp + '/killed/args.json'],
                                  env=dict(os.environ, PYTHONPATH=collections), start_new_session=True,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def programs():
            return sum(1 for r in sim.requests() if r[:2] == [0x05, 0x90] and len(r) > 5 and r[5] in PAGE_PROGRAM)
        check(wait_for(lambda: programs() >= 10, 120), 'killed module: programming never began')
        os.killpg(module.pid, signal.SIGKILL)
        module.wait()
        ended = wait_for(lambda: sim.requests()[-1:] == [SPI_SESSION_END], 60)
        # 547 page programs would finish the image.
        check(ended and programs() < 500, 'killed module: the tool did not stop (%d page programs, last %s)' %
              (programs(), sim.requests()[-1:]))
    finally:
        sim.stop()


def cases_test(bin_dir, collections):
    program = ansible_program('ansible-playbook')
    with tempfile.TemporaryDirectory() as tmp:
        ctx = CaseContext(bin_dir, tmp)
        sims = {}
        try:
            for serial, case in enumerate(CASES, 100101):
                state = '%s/%s/state' % (tmp, case.name)
                options = case.setup(ctx, state) if case.setup else []
                sims[case.name] = Sim(bin_dir, state, serial, case.sim_options + options,
                                      log='%s/%s/requests.log' % (tmp, case.name) if case.log else None)
            write_inventory(tmp + '/hosts', dict((name, sim.port) for name, sim in sims.items()))
            tasks = [dict(task, name='%s: %s' % (case.name, task['name']),
                          when="inventory_hostname == '%s'" % case.name) for case in CASES for task in case.tasks(ctx)]
            play = [dict(name='Failure paths', hosts='boards', gather_facts=False, strategy='free',
                         module_defaults={'group/zorvi.boards.zorvi': {'zorviutil_path': ctx.zorviutil}}, tasks=tasks)]
            with open(tmp + '/cases.yml', 'w') as f:
                json.dump(play, f, indent=1)  # JSON is YAML
            results, stats = run_playbook(program, ansible_env(collections, tmp), tmp + '/hosts', tmp + '/cases.yml')
            for case in CASES:
                prefix = case.name + ': '
                mine = dict((name[len(prefix):], hosts[case.name]) for name, hosts in results.items()
                            if name.startswith(prefix) and case.name in hosts)
                missing = [t['name'] for t in case.tasks(ctx) if t['name'] not in mine]
                check(not missing, '%s: no result of %s' % (case.name, missing))
                if not missing:
                    case.check(ctx, mine, sims[case.name])
            killed_module_test(ctx, collections)
        finally:
            for sim in sims.values():
                sim.stop()


PARALLEL_BOARDS = 8


def update_all_boards(program, env, tmp, zorviutil, ports, image):
    """The collection's playbook for all boards of one host (this one):
    the per-board results it reports, the stats and its run time."""
    with open(tmp + '/rack', 'w') as f:
        f.write('rack ansible_connection=local ansible_python_interpreter=/usr/bin/python3\n')
    start = time.monotonic()
    tasks, stats = run_playbook(program, env, tmp + '/rack', 'zorvi.boards.update_all_boards', '-e',
                                json.dumps({'zorviutil': zorviutil, 'firmware_image': image, 'zorvi_ports': ports,
                                            'zorvi_update_time': 300}))
    seconds = time.monotonic() - start
    return tasks.get('Report every board', {}).get('rack', {}).get('zorvi_update_results', {}), stats['rack'], seconds


def parallel_test(bin_dir, collections):
    """Eight boards and a port where none is: each board updated once, the
    missing one reported failed; a second run changes nothing."""
    program = ansible_program('ansible-playbook')
    with tempfile.TemporaryDirectory() as tmp:
        sims = []
        try:
            for n in range(PARALLEL_BOARDS):
                sims.append(Sim(bin_dir, '%s/board%d' % (tmp, n), 200001 + n, []))
            image = tmp + '/fw.bin'
            with open(image, 'wb') as f:
                f.write(pattern(4096, 0x5A))
            ports = [sim.port for sim in sims] + [MISSING_PORT]
            env = ansible_env(collections, tmp)
            for run, changed in (('first', True), ('second', False)):
                results, stats, _ = update_all_boards(program, env, tmp, bin_dir + '/zorviutil', ports, image)
                check(sorted(results) == sorted(ports), '%s run: results for %s' % (run, sorted(results)))
                for sim in sims:
                    board = results.get(sim.port, {})
                    check(board.get('failed') is False and board.get('changed') is changed,
                          '%s run: %s: %s' % (run, sim.port, board))
                    check(sim.read('appflash', 0, 4096) == pattern(4096, 0x5A), '%s: firmware not in the flash' % sim.port)
                missing = results.get(MISSING_PORT, {})
                check(missing.get('failed') is True and MISSING_PORT in missing.get('msg', ''),
                      '%s run: the missing port: %s' % (run, missing))
                check(stats['failures'] == 1, '%s run: the host did not fail for the missing port: %s' % (run, stats))
        finally:
            for sim in sims:
                sim.stop()


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ('doc', 'play', 'sanity', 'cases', 'parallel'):
        print(__doc__)
        return 2
    bin_dir, collections = os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    tests = dict(doc=lambda: doc_test(collections), sanity=lambda: sanity_test(collections),
                 play=lambda: play_test(bin_dir, collections), cases=lambda: cases_test(bin_dir, collections),
                 parallel=lambda: parallel_test(bin_dir, collections))
    tests[sys.argv[1]]()
    print('%d check(s) failed' % len(failures) if failures else 'passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
