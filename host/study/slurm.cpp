#include "slurm.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace study {

namespace {

// A word for the shell, in single quotes.
std::string shellWord(const std::string &s)
{
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A job name: letters, digits, '-' and '_' of the study file's name.
std::string jobName(const Study &study)
{
    std::string name = "simstudy-";
    for (char c : std::filesystem::path(study.path).stem().string())
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return name;
}

void writeScript(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw StudyError("cannot write '" + path + "': " + std::strerror(errno));
    ::chmod(path.c_str(), 0755);
}

}  // namespace

SlurmJob writeSlurmJob(const Study &study, const Results &results, std::uint64_t tasks, const std::string &simstudy,
                       const std::vector<std::string> &libDirs, const std::string &files)
{
    std::string dir = results.dir() + "/slurm";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw StudyError("cannot make the folder '" + dir + "': " + ec.message());
    SlurmJob job;
    job.arrayScript = dir + "/study.sbatch";
    job.collectScript = dir + "/collect.sbatch";
    std::string last = std::to_string(tasks - 1), n = std::to_string(tasks);
    std::string libs;
    for (const std::string &d : libDirs) libs += " -L " + shellWord(d);
    if (!files.empty()) libs += " --files " + shellWord(files);

    job.submit = "jobid=$(sbatch --parsable " + shellWord(job.arrayScript) + ") && sbatch --dependency=afterany:\"${jobid%%;*}\" " +
                 shellWord(job.collectScript);
    writeScript(job.arrayScript,
                "#!/bin/bash\n"
                "# " + study.path + " as a Slurm job array, written by simstudy: task t (0 to " + last + ")\n"
                "# runs shard t+1 of " + n + " of the study's " + std::to_string(study.runs) + " runs into " + results.dir() + ".\n"
                "# Submit it with the collect job, which waits for the whole array:\n"
                "#   " + job.submit + "\n"
                "# Without Slurm, one task: SLURM_ARRAY_TASK_ID=0 bash " + shellWord(job.arrayScript) + "\n"
                "#SBATCH --job-name=" + jobName(study) + "\n"
                "#SBATCH --array=0-" + last + "\n"
                "#SBATCH --output=" + dir + "/task-%a.out\n"
                "set -u\n"
                "if [ -z \"${SLURM_ARRAY_TASK_ID:-}\" ]; then\n"
                "  echo \"this is a Slurm job array: submit it with sbatch, or set SLURM_ARRAY_TASK_ID (0 to " + last + ")\" >&2\n"
                "  exit 2\n"
                "fi\n"
                "exec " + shellWord(simstudy) + " run " + shellWord(study.path) + " -o " + shellWord(results.dir()) + libs +
                " --no-progress \\\n"
                "  --shard \"$((SLURM_ARRAY_TASK_ID + 1))/" + n + "\" -j \"${SLURM_CPUS_PER_TASK:-1}\"\n");
    writeScript(job.collectScript,
                "#!/bin/bash\n"
                "# Merges what the tasks of " + job.arrayScript + " recorded into " + results.dir() + "/study.csv.\n"
                "#SBATCH --job-name=" + jobName(study) + "-collect\n"
                "#SBATCH --output=" + dir + "/collect.out\n"
                "exec " + shellWord(simstudy) + " collect " + shellWord(results.dir()) + "\n");
    return job;
}

}  // namespace study
