# Runs a Homebrew formula's install and test blocks on this machine, with just
# enough of Homebrew's formula API: the build runs for real from the release
# tarball, every file the formula installs must be one that build produced,
# and the test block runs against the installed program.
# Usage: ruby homebrew_formula_check.rb FORMULA TARBALL WORK-DIRECTORY
require "fileutils"
require "open3"
require "pathname"
require "tmpdir"

class FormulaCheckFailure < StandardError; end

# A directory of the keg, like Homebrew's bin, man1 or zsh_completion.
class KegDirectory
  attr_reader :installed

  def initialize(path)
    @path = Pathname(path)
    @installed = []
  end

  # install "file", or install "file" => "new name", as Homebrew's Pathname#install.
  def install(*sources)
    sources.flat_map { |source| source.is_a?(Hash) ? source.to_a : [[source, File.basename(source)]] }
           .each do |from, to|
      raise FormulaCheckFailure, "installs #{from}, which the build did not produce" unless File.file?(from)
      raise FormulaCheckFailure, "installs #{from}, which is empty" if File.zero?(from)

      FileUtils.mkdir_p(@path)
      FileUtils.cp(from, @path / to, preserve: true)
      @installed << (@path / to)
    end
  end

  def /(other) = @path / other
  def to_s = @path.to_s
end

class Formula
  class << self
    attr_reader :stable_url, :test_block

    def dependencies = @dependencies || []

    def desc(_text) = nil
    def homepage(_url) = nil
    def license(_spdx) = nil
    def url(address) = (@stable_url = address)

    def sha256(digest)
      raise FormulaCheckFailure, "sha256 is not 64 hexadecimal digits" unless digest.match?(/\A\h{64}\z/)
    end

    def depends_on(dependency)
      (@dependencies ||= []) << dependency
    end

    def test(&block) = (@test_block = block)
  end

  attr_reader :prefix

  def initialize(prefix)
    @prefix = Pathname(prefix)
    @directories = {}
  end

  # Where Homebrew puts each kind of file, under the keg.
  {
    bin: "bin", man1: "share/man/man1", bash_completion: "etc/bash_completion.d",
    zsh_completion: "share/zsh/site-functions", fish_completion: "share/fish/vendor_completions.d"
  }.each do |name, relative|
    define_method(name) { @directories[name] ||= KegDirectory.new(@prefix / relative) }
  end

  def installed = @directories.values.flat_map(&:installed)

  # Homebrew's release arguments, except that the tests are built: the check
  # runs them on the same build afterwards.
  def std_cmake_args
    ["-DCMAKE_INSTALL_PREFIX=#{prefix}", "-DCMAKE_INSTALL_LIBDIR=lib", "-DCMAKE_BUILD_TYPE=Release",
     "-DCMAKE_FIND_FRAMEWORK=LAST", "-Wno-dev", "-DBUILD_TESTING=ON"]
  end

  def system(*command)
    puts "    #{command.join(" ")}"
    output, status = Open3.capture2e(*command)
    return if status.success?

    raise FormulaCheckFailure, "#{command.join(" ")} failed:\n#{output.lines.last(30).join}"
  end

  def version = self.class.stable_url[/-(\d+(?:\.\d+)+)\.tar\.gz\z/, 1]
  def testpath = @testpath ||= Pathname(Dir.mktmpdir("formula-test"))

  def shell_output(command, expected_status = 0)
    output, status = Open3.capture2(command)
    unless status.exitstatus == expected_status
      raise FormulaCheckFailure, "#{command} ended with #{status.exitstatus}, not #{expected_status}"
    end

    output
  end

  def assert_equal(expected, actual)
    raise FormulaCheckFailure, "expected #{expected.inspect}, got #{actual.inspect}" unless expected == actual
  end
end

abort "usage: homebrew_formula_check.rb FORMULA TARBALL WORK-DIRECTORY" unless ARGV.size == 3
formula_file, tarball, work = ARGV.map { |argument| File.expand_path(argument) }
load File.expand_path(formula_file)
formula_class = Formula.subclasses.first

begin
  expected_name = File.basename(formula_class.stable_url)
  unless File.basename(tarball) == expected_name
    raise FormulaCheckFailure, "url names #{expected_name}, the release tarball is #{File.basename(tarball)}"
  end
  formula_class.dependencies.each do |dependency|
    next if dependency == :macos
    next if dependency.is_a?(Hash) && dependency.keys.first.match?(/\A[a-z0-9@._+-]+\z/) && dependency.values.first == :build

    raise FormulaCheckFailure, "#{dependency.inspect} is not a build dependency from Homebrew's own formulae"
  end

  FileUtils.rm_rf(work)
  FileUtils.mkdir_p(work)
  system("tar", "-xzf", tarball, "-C", work, exception: true)
  source = Dir.children(work).map { |entry| File.join(work, entry) }.find { |entry| File.directory?(entry) }
  formula = formula_class.new(File.join(work, "keg"))
  puts "== install (in #{source})"
  Dir.chdir(source) { formula.install }
  puts "installed: #{formula.installed.map { |path| path.relative_path_from(formula.prefix) }.join(" ")}"
  puts "== test"
  formula.instance_exec(&formula_class.test_block)
  puts "formula installs what the build produced and its test passes"
rescue FormulaCheckFailure => e
  warn "FAIL: #{e.message}"
  exit 1
end
