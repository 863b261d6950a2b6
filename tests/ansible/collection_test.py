#!/usr/bin/python3
"""The Ansible collection in contrib/ansible with the real engine, the real
zorviutil and two simulated boards.

  collection_test.py doc  BIN_DIR COLLECTIONS   ansible-doc of each module
  collection_test.py play BIN_DIR COLLECTIONS   boards.yml against localhost
  collection_test.py sanity BIN_DIR COLLECTIONS ansible-test sanity, the tests
                                                that need no download

Exit code 77 (one line on stdout) when ansible-core is not installed."""

import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
MODULES = ('zorvi_facts', 'zorvi_firmware', 'zorvi_spi_image')
# The ansible-test sanity tests that install pinned packages from the Python
# package index into a virtual environment: they cannot run offline.
NEEDS_DOWNLOAD = ('ansible-doc', 'import', 'pep8', 'pylint', 'runtime-metadata', 'validate-modules', 'yamllint')
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


def sanity_test(collections):
    program = ansible_program('ansible-test')
    with tempfile.TemporaryDirectory() as tmp:
        def sanity(*options):
            return subprocess.run([program, 'sanity', '--python', '%d.%d' % sys.version_info[:2]] + list(options),
                                  cwd=collections + '/ansible_collections/zorvi/boards',
                                  env=ansible_env(collections, tmp), capture_output=True, text=True)
        tests = [t for t in sanity('--list-tests').stdout.split() if t not in NEEDS_DOWNLOAD]
        r = sanity(*[o for test in tests for o in ('--test', test)])
    print(r.stdout + r.stderr)
    check(len(tests) > 10 and r.returncode == 0, 'ansible-test sanity exit code %d' % r.returncode)


class Sim:
    """A zorvisim in the background with its state folder."""

    def __init__(self, bin_dir, state_dir, serial, options):
        self.state_dir = state_dir
        self.serial = serial
        self.proc = subprocess.Popen([bin_dir + '/zorvisim', '--state-dir', state_dir, '--serial', str(serial),
                                      '--no-pcie', '--sensor-seconds', '60'] + options,
                                     stdout=subprocess.PIPE, text=True)
        self.port = self.proc.stdout.readline().strip()

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
    with open(tmp + '/hosts', 'w') as f:
        f.write('[boards]\n' + ''.join('%s zorvi_port=%s\n' % item for item in sorted(ports.items())))
        f.write('[boards:vars]\nansible_connection=local\nansible_python_interpreter=/usr/bin/python3\n')
    env = ansible_env(collections, tmp)

    def play(fw, spi, *options):
        r = subprocess.run([program, '-i', tmp + '/hosts', HERE + '/boards.yml', '-e', 'zorviutil=' + zorviutil,
                            '-e', 'firmware_image=' + images[fw], '-e', 'spi_image=' + images[spi]] + list(options),
                           env=env, capture_output=True, text=True)
        print(r.stdout + r.stderr)
        with open(env['ZORVI_ANSIBLE_RESULTS']) as f:
            doc = json.load(f)
        os.remove(env['ZORVI_ANSIBLE_RESULTS'])
        return doc['tasks'], doc['stats']

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


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ('doc', 'play', 'sanity'):
        print(__doc__)
        return 2
    bin_dir, collections = os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    tests = dict(doc=lambda: doc_test(collections), sanity=lambda: sanity_test(collections),
                 play=lambda: play_test(bin_dir, collections))
    tests[sys.argv[1]]()
    print('%d check(s) failed' % len(failures) if failures else 'passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
