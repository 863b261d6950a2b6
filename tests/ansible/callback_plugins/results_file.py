# Writes every task result of a playbook run and the per-host stats to the
# JSON file named by $ZORVI_ANSIBLE_RESULTS, for collection_test.py to check:
# {"tasks": {task name: {host: result}}, "stats": {host: {ok, changed, failures, ...}}}.
from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os

from ansible.plugins.callback import CallbackBase

DOCUMENTATION = r'''
name: results_file
type: aggregate
short_description: task results and stats of a run as one JSON file
description: Writes them to the file named by ZORVI_ANSIBLE_RESULTS.
'''


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'aggregate'
    CALLBACK_NAME = 'results_file'
    CALLBACK_NEEDS_ENABLED = True

    def __init__(self):
        super(CallbackModule, self).__init__()
        self.tasks = {}

    def _record(self, result, **extra):
        task = self.tasks.setdefault(result._task.get_name(), {})
        task[result._host.get_name()] = dict(result._result, **extra)

    def v2_runner_on_ok(self, result):
        self._record(result)

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self._record(result, failed=True)

    def v2_playbook_on_stats(self, stats):
        hosts = sorted(stats.processed.keys())
        summary = dict((h, stats.summarize(h)) for h in hosts)
        with open(os.environ['ZORVI_ANSIBLE_RESULTS'], 'w') as f:
            json.dump(dict(tasks=self.tasks, stats=summary), f, indent=1, default=str)
