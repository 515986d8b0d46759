"""quillbrook-dev-agent on one mirror, and quillbrook-cli talking to it."""

import json
import os
import signal
import subprocess
import time

from server_mail import ACCOUNT

START_SECONDS = 10
STOP_SECONDS = 5
CLI_SECONDS = 20


class Agent:
    def __init__(self, agent: str, cli: str, root: str, mail_root: str):
        self.cli_program = cli
        self.root = root
        os.makedirs(root, mode=0o700)
        self.socket = os.path.join(root, "agent.sock")
        self.log_path = os.path.join(root, "agent.log")
        self.command = [agent, "--socket", self.socket, "--state-dir", os.path.join(root, "state"),
                        "--drafts-dir", os.path.join(root, "drafts"), "--account", f"{ACCOUNT}={mail_root}"]
        self.process = None

    def log(self) -> str:
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def start(self):
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(self.command, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        deadline = time.monotonic() + START_SECONDS
        while not os.path.exists(self.socket):
            if self.process.poll() is not None:
                raise AssertionError(f"the agent exited with status {self.process.returncode}:\n{self.log()}")
            if time.monotonic() > deadline:
                self.stop()
                raise AssertionError(f"the agent did not listen within {START_SECONDS} s:\n{self.log()}")
            time.sleep(0.02)

    def stop(self) -> bool:
        """Stops the agent with SIGTERM, killing it after STOP_SECONDS; whether SIGTERM was enough."""
        if self.process is None or self.process.poll() is not None:
            return True
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(STOP_SECONDS)
            return True
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return False

    def stop_cleanly(self):
        """Stops the agent; a hang, a crash or a sanitizer's report on the way shows here with the agent's log."""
        if not self.stop():
            raise AssertionError(f"the agent did not stop within {STOP_SECONDS} s of SIGTERM:\n{self.log()}")
        if self.process.returncode != 0:
            raise AssertionError(f"the agent ended with status {self.process.returncode}:\n{self.log()}")

    def _run(self, args, stdin=None) -> str:
        environment = {"QUILLBROOK_SOCKET": self.socket, "HOME": self.root, "PATH": os.environ.get("PATH", "")}
        try:
            done = subprocess.run([self.cli_program, *args], input=stdin, env=environment, capture_output=True,
                                  text=True, timeout=CLI_SECONDS)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"quillbrook-cli {' '.join(args)} did not finish within {CLI_SECONDS} s")
        if done.returncode != 0:
            raise AssertionError(f"quillbrook-cli {' '.join(args)} failed with status {done.returncode}: "
                                 f"{done.stderr.strip()}")
        return done.stdout

    def cli(self, *args) -> dict:
        """One command; its JSON answer."""
        return json.loads(self._run(args))

    def folders(self) -> dict:
        """The account's folders by name, through the MCP face (the command line has no folder list)."""
        requests = [
            {"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": {}},
            {"jsonrpc": "2.0", "method": "notifications/initialized"},
            {"jsonrpc": "2.0", "id": 2, "method": "tools/call",
             "params": {"name": "list_folders", "arguments": {"account": ACCOUNT}}},
        ]
        lines = self._run(["mcp"], "".join(json.dumps(request) + "\n" for request in requests)).splitlines()
        answer = next(json.loads(line) for line in lines if json.loads(line).get("id") == 2)
        result = json.loads(answer["result"]["content"][0]["text"])
        if "folders" not in result:
            raise AssertionError(f"list_folders answered {result}")
        return {folder["name"]: folder for folder in result["folders"]}

    def emails(self, folder: str) -> list:
        return self.cli("fetch", "--folder", folder, "--limit", "200")["emails"]
