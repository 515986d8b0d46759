# A tap's formula for the client alone (the development agent stays on Linux).
# At each release: `cmake --build build --target dist` at the release commit
# writes the tarball that `url` names and prints the sha256 to put below.
class QuillbrookCli < Formula
  desc "Command-line client and MCP server for the Quillbrook mail agent"
  homepage "https://quillbrook.invalid/cli"
  url "https://quillbrook.invalid/cli/releases/quillbrook-cli-2.0.0.tar.gz"
  sha256 "0000000000000000000000000000000000000000000000000000000000000000"

  depends_on "boost" => :build
  depends_on "cli11" => :build
  depends_on "cmake" => :build
  depends_on "fast_float" => :build
  depends_on :macos

  def install
    system "cmake", "-S", ".", "-B", "build", "-DQUILLBROOK_DEV_AGENT=OFF", "-DQUILLBROOK_BENCHMARKS=OFF",
           *std_cmake_args
    system "cmake", "--build", "build"
    bin.install "build/quillbrook-cli"
    man1.install "build/docs/quillbrook-cli.1"
    bash_completion.install "build/docs/quillbrook-cli.bash" => "quillbrook-cli"
    zsh_completion.install "build/docs/_quillbrook-cli"
    fish_completion.install "build/docs/quillbrook-cli.fish"
  end

  test do
    assert_equal version.to_s, shell_output("#{bin}/quillbrook-cli --version").strip
    ENV["QUILLBROOK_SOCKET"] = (testpath/"agent.sock").to_s
    assert_equal "Quillbrook is not running or Local Agent Access is disabled " \
                 "(Quillbrook → Settings → Local Agent Access)\n",
                 shell_output("#{bin}/quillbrook-cli accounts list 2>&1", 2)
  end
end
