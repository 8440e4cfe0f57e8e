// Runs one benchmark workload in DuckDB on one thread, as one whole process:
// creates the tables from the workload's CSV files with typed columns, runs
// its SQL, and writes the rows to a CSV file.
//
// Usage: node run_workload.mjs JOB.json
// JOB: {"tables": {"R": "R.csv", ...}, "columns": {"id": "INTEGER", ...},
//        "sql": "SELECT ...", "output": "out.csv"}
import { readFileSync } from 'node:fs';
import { DuckDBInstance } from '@duckdb/node-api';

const job = JSON.parse(readFileSync(process.argv[2], 'utf8'));
const quote = (text) => `'${text.replaceAll("'", "''")}'`;
const columns = '{' + Object.entries(job.columns).map(([name, type]) => `${quote(name)}: ${quote(type)}`).join(', ') + '}';

const instance = await DuckDBInstance.create(':memory:', { threads: '1' });
const connection = await instance.connect();
await connection.run('SET threads = 1');
for (const [name, path] of Object.entries(job.tables)) {
    await connection.run(`CREATE TABLE ${name} AS SELECT * FROM read_csv(${quote(path)}, header = true, columns = ${columns})`);
}
await connection.run(`COPY (${job.sql.replace(/;\s*$/, '')}) TO ${quote(job.output)} (FORMAT csv, HEADER false)`);
connection.closeSync();
instance.closeSync();
